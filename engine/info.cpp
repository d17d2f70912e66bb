// The drawing description of `kelmoor info` (see info.h).
#include "engine/info.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "engine/model/drawing.h"

namespace kel::engine {

namespace {

std::string jsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool isSubEntity(const std::string& type) { return type == "VERTEX" || type == "SEQEND" || type == "ATTRIB"; }

struct LayoutCount {
  std::string name;
  int order = 0;
  std::map<std::string, size_t> types;
};

}  // namespace

std::string describe(const AcDbDatabase& db, bool json) {
  const Drawing& d = db.drawing();
  // Layouts by their block record; model space first, then paper space in tab order.
  std::unordered_map<Handle, std::string> blockOfRecord;
  if (const SymbolTable* brt = d.table("BLOCK_RECORD"))
    for (const auto& r : brt->entries) blockOfRecord[r.handle] = r.text(2);
  std::vector<LayoutCount> layouts;
  std::unordered_map<std::string, size_t> layoutOfBlock;  // upper-case block name -> index
  for (const auto& o : d.objects) {
    if (o.type != "LAYOUT") continue;
    LayoutCount lc;
    bool inLayout = false;
    Handle rec = 0;
    for (const auto& t : o.body) {
      if (t.code == 100) inLayout = t.s == "AcDbLayout";
      else if (inLayout && t.code == 1) lc.name = t.s;
      else if (inLayout && t.code == 71) lc.order = int(t.i);
      else if (inLayout && t.code == 330) rec = Handle(t.i);
    }
    auto it = blockOfRecord.find(rec);
    if (it == blockOfRecord.end()) continue;
    layoutOfBlock[upper(it->second)] = layouts.size();
    layouts.push_back(std::move(lc));
  }
  auto layoutFor = [&](const std::string& block) -> LayoutCount& {
    auto it = layoutOfBlock.find(upper(block));
    if (it != layoutOfBlock.end()) return layouts[it->second];
    // A layout block without a LAYOUT object still counts under its block name.
    layoutOfBlock[upper(block)] = layouts.size();
    layouts.push_back({block, sameName(block, "*Model_Space") ? -1 : 1000, {}});
    return layouts.back();
  };
  for (const auto& e : d.entities) {
    if (isSubEntity(e.type)) continue;
    auto it = blockOfRecord.find(e.owner);
    std::string block = it != blockOfRecord.end() ? it->second : (e.integer(67) == 1 ? "*Paper_Space" : "*Model_Space");
    ++layoutFor(block).types[e.type];
  }
  size_t userBlocks = 0;
  for (const auto& b : d.blocks) {
    std::string n = upper(b.name());
    bool layoutBlock = n == "*MODEL_SPACE" || n.rfind("*PAPER_SPACE", 0) == 0;
    if (!layoutBlock) {
      ++userBlocks;
      continue;
    }
    LayoutCount& lc = layoutFor(b.name());
    for (const auto& e : b.entities)
      if (!isSubEntity(e.type)) ++lc.types[e.type];
  }
  std::stable_sort(layouts.begin(), layouts.end(),
                   [](const LayoutCount& a, const LayoutCount& b) { return a.order < b.order; });
  const SymbolTable* layers = d.table("LAYER");
  const size_t layerCount = layers ? layers->entries.size() : 0;
  char ver[16];
  std::snprintf(ver, sizeof ver, "AC%04d", d.version);
  char seed[24];
  std::snprintf(seed, sizeof seed, "%llX", static_cast<unsigned long long>(handseed(d)));
  const SaveSettings& s = d.settings;

  std::string out;
  if (json) {
    out = "{\"version\":" + jsonText(ver) + ",\"handseed\":" + jsonText(seed) +
          ",\"layers\":" + std::to_string(layerCount) + ",\"blocks\":" + std::to_string(userBlocks) +
          ",\"settings\":{\"proxygraphics\":" + std::to_string(s.saveProxyGraphics) +
          ",\"indexctl\":" + std::to_string(s.indexCtl) + ",\"sortents\":" + std::to_string(s.drawOrderCtl) +
          ",\"updatethumbnail\":" + std::to_string(s.updateThumbnail) + "},\"layouts\":[";
    for (size_t i = 0; i < layouts.size(); ++i) {
      if (i) out += ",";
      out += "{\"name\":" + jsonText(layouts[i].name) + ",\"entities\":{";
      bool first = true;
      for (const auto& [type, n] : layouts[i].types) {
        if (!first) out += ",";
        first = false;
        out += jsonText(type) + ":" + std::to_string(n);
      }
      out += "}}";
    }
    out += "]}";
    return out;
  }
  out = std::string("version: ") + ver + "\n";
  out += std::string("handseed: ") + seed + "\n";
  out += "layers: " + std::to_string(layerCount) + "\n";
  out += "blocks: " + std::to_string(userBlocks) + "\n";
  out += "settings: proxygraphics=" + std::to_string(s.saveProxyGraphics) + " indexctl=" +
         std::to_string(s.indexCtl) + " sortents=" + std::to_string(s.drawOrderCtl) +
         " updatethumbnail=" + std::to_string(s.updateThumbnail) + "\n";
  for (const auto& l : layouts) {
    out += "layout " + l.name + ":";
    for (const auto& [type, n] : l.types) out += " " + type + "=" + std::to_string(n);
    out += "\n";
  }
  return out;
}

}  // namespace kel::engine
