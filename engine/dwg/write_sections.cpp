// Building the non-object sections of an AC1027 file.
#include "engine/dwg/write_sections.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/dwg/container2000.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/header.h"

namespace kel::dwg {

using engine::Tag;
using engine::Tags;
using engine::ValueKind;

namespace {

void putRL(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void putRS(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void putRLL(std::vector<uint8_t>& b, uint64_t v) {
  for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
// A text as a character count (with the terminating NUL) and UTF-16 units.
void putText16(std::vector<uint8_t>& b, const std::string& s) {
  std::u16string w = utf8ToUtf16(s);
  putRS(b, uint16_t(w.size() + 1));
  for (char16_t c : w) putRS(b, uint16_t(c));
  putRS(b, 0);
}
void putDate(std::vector<uint8_t>& b, double dxfDate) {
  uint32_t day = 0, ms = 0;
  julian(dxfDate, day, ms);
  putRL(b, day);
  putRL(b, ms);
}

// Start sentinel, 32-bit size (and its high word), payload, CRC, end sentinel.
std::vector<uint8_t> frame(const DwgSentinel& sentinel, std::span<const uint8_t> payload) {
  std::vector<uint8_t> out(sentinel.begin(), sentinel.end());
  putRL(out, uint32_t(payload.size()));
  putRL(out, 0);  // high word of the size (maintenance versions above 3)
  out.insert(out.end(), payload.begin(), payload.end());
  uint16_t crc = crc16(kCrc16Seed, out.data() + 16, out.size() - 16);
  putRS(out, crc);
  DwgSentinel end = complementOf(sentinel);
  out.insert(out.end(), end.begin(), end.end());
  return out;
}

// Data stream (after a 32-bit end-of-data field) + string stream | handle stream, as the header
// and classes sections store them from R2007 on.
std::vector<uint8_t> joinStreams(const BitWriter& data, const BitWriter& strings, const BitWriter* handles, Version v) {
  BitWriter out(v);
  out.RL(0);  // patched below
  appendBits(out, data.bytes(), data.sizeBits());
  appendStringStream(out, strings);
  size_t endBit = out.sizeBits();
  if (handles) appendBits(out, handles->bytes(), handles->sizeBits());
  out.setPositionBits(0);
  out.RL(uint32_t(endBit));
  return out.take();
}

const Tags* headerValues(const engine::Drawing& d, const std::string& name) {
  const engine::HeaderVar* v = d.headerVar("$" + name);
  return v && !v->values.empty() ? &v->values : nullptr;
}

double realAt(const Tags* t, size_t i, double dflt) {
  if (!t || i >= t->size()) return dflt;
  const Tag& x = (*t)[i];
  return x.kind == ValueKind::String ? std::atof(x.s.c_str()) : engine::asDouble(x);
}
int64_t intAt(const Tags* t, size_t i, int64_t dflt) {
  if (!t || i >= t->size()) return dflt;
  const Tag& x = (*t)[i];
  return x.kind == ValueKind::String ? std::atoll(x.s.c_str()) : engine::asInt(x);
}

// Defaults for variables a drawing may lack, as a new drawing has them.
double realDefault(const std::string& n) {
  static const std::map<std::string, double> k = {
      {"LTSCALE", 1},     {"TEXTSIZE", 0.2},  {"DIMSCALE", 1},  {"DIMASZ", 0.18}, {"DIMEXO", 0.0625},
      {"DIMDLI", 0.38},   {"DIMEXE", 0.18},   {"DIMTXT", 0.18}, {"DIMCEN", 0.09}, {"DIMALTF", 25.4},
      {"DIMLFAC", 1},     {"DIMTFAC", 1},     {"DIMGAP", 0.09}, {"CELTSCALE", 1}, {"CMLSCALE", 1},
      {"FACETRES", 0.5},  {"PSVPSCALE", 0},   {"LENSLENGTH", 50}, {"STEPSPERSEC", 2}, {"STEPSIZE", 6},
      {"3DDWFPREC", 2},   {"PSOLWIDTH", 0.25}, {"PSOLHEIGHT", 4}, {"LOFTANG1", M_PI / 2},
      {"LOFTANG2", M_PI / 2}, {"LOFTMAG1", 0}, {"LOFTMAG2", 0}, {"LATITUDE", 37.795}, {"LONGITUDE", -122.394},
      {"DIMJOGANG", M_PI / 4}, {"_UNIT1_RATIO", 412148564080.0}, {"_UNIT2_RATIO", 1}, {"_UNIT3_RATIO", 1},
      {"_UNIT4_RATIO", 1}, {"SKETCHINC", 0.1}, {"FILLETRAD", 0}, {"PDSIZE", 0}, {"DIMALTMZF", 100}, {"DIMMZF", 100},
      {"TDCREATE", 2451544.5}, {"TDUPDATE", 2451544.5}};
  auto it = k.find(n);
  return it == k.end() ? 0 : it->second;
}
int64_t intDefault(const std::string& n) {
  static const std::map<std::string, int64_t> k = {
      {"REGENMODE", 1}, {"FILLMODE", 1}, {"PSLTSCALE", 1}, {"USRTIMER", 1}, {"SPLFRAME", 0}, {"WORLDVIEW", 1},
      {"TILEMODE", 1}, {"VISRETAIN", 1}, {"TREEDEPTH", 3020}, {"LUNITS", 2}, {"LUPREC", 4}, {"ATTMODE", 1},
      {"SPLINESEGS", 8}, {"SURFU", 6}, {"SURFV", 6}, {"SURFTYPE", 6}, {"SURFTAB1", 6}, {"SURFTAB2", 6},
      {"SPLINETYPE", 6}, {"SHADEDGE", 3}, {"SHADEDIF", 70}, {"MAXACTVP", 64}, {"ISOLINES", 4}, {"TEXTQLTY", 50},
      {"DIMASO", 1}, {"DIMSHO", 1}, {"DIMTOH", 1}, {"DIMTIH", 1}, {"DIMALTD", 2}, {"DIMDEC", 4}, {"DIMTDEC", 4},
      {"DIMALTU", 2}, {"DIMALTTD", 2}, {"DIMLUNIT", 2}, {"DIMDSEP", '.'}, {"DIMATFIT", 3}, {"DIMLWD", -2},
      {"DIMLWE", -2}, {"DIMCLRD", 0}, {"DIMCLRE", 0}, {"DIMCLRT", 0}, {"TSTACKALIGN", 1}, {"TSTACKSIZE", 70},
      {"CECOLOR", 256}, {"HALOGAP", 0}, {"OBSCOLOR", 257}, {"INTERSECTIONCOLOR", 257}, {"DIMASSOC", 2},
      {"_UNKNOWN8", 24}, {"CAMERADISPLAY", 0}, {"LOFTPARAM", 7}, {"LOFTNORMALS", 1}, {"TIMEZONE", -8000},
      {"LIGHTGLYPHDISPLAY", 1}, {"TILEMODELIGHTSYNCH", 1}, {"DWFFRAME", 2}, {"DGNFRAME", 0},
      {"REALWORLDSCALE", 1}, {"INTERFERECOLOR", 1}, {"SOLIDHIST", 1}, {"SHOWHIST", 1}, {"DIMTFILLCLR", 0},
      {"PDMODE", 0}, {"MIRRTEXT", 1}, {"CEPSNTYPE", 0}, {"PROXYGRAPHICS", 1}};
  auto it = k.find(n);
  return it == k.end() ? 0 : it->second;
}

// The table a name-valued header variable refers to.
const char* headerTable(const std::string& n) {
  if (n == "CLAYER") return "LAYER";
  if (n == "TEXTSTYLE" || n == "DIMTXSTY") return "STYLE";
  if (n == "CELTYPE" || n == "DIMLTYPE" || n == "DIMLTEX1" || n == "DIMLTEX2") return "LTYPE";
  if (n == "DIMSTYLE") return "DIMSTYLE";
  if (n == "CMLSTYLE") return "MLINESTYLE";
  if (n == "PUCSNAME" || n == "UCSNAME" || n == "PUCSORTHOREF" || n == "UCSORTHOREF" || n == "PUCSBASE" ||
      n == "UCSBASE")
    return "UCS";
  if (n == "DIMLDRBLK" || n == "DIMBLK" || n == "DIMBLK1" || n == "DIMBLK2") return "BLOCK_RECORD";
  return nullptr;
}

std::string textDefault(const std::string& n) {
  if (n == "MENU") return "acad";
  if (n == "_UNIT1_NAME") return "m";
  if (n == "FINGERPRINTGUID" || n == "VERSIONGUID") return "{A1B2C3D4-0000-4000-8000-00000000000" + std::string(n == "VERSIONGUID" ? "2" : "1") + "}";
  return {};
}

}  // namespace

void julian(double dxfDate, uint32_t& day, uint32_t& ms) {
  if (!(dxfDate >= 0) || dxfDate > 1e8) dxfDate = 0;
  double d = std::floor(dxfDate);
  day = uint32_t(d);
  ms = uint32_t(std::lround((dxfDate - d) * 86400000.0));
  if (ms >= 86400000u) ms = 86399999u;
}

std::vector<uint8_t> writeHeaderSection(const engine::Drawing& d, const HeaderLinks& links, const WriteContext& ctx) {
  const Version v = ctx.version;
  BitWriter data(v), strings(v), handles(v);
  auto text = [&](const std::string& s) {
    if (v >= Version::R2007) strings.TU(utf8ToUtf16(s));
    else data.T(s);
  };
  auto handle = [&](Handle h) {
    if (!ctx.exists(h)) h = 0;
    if (v >= Version::R2007) handles.H(HandleRef{5, h});
    else data.H(HandleRef{5, h});
  };
  int64_t plotStyleType = 0;
  for (const HeaderVarSpec& spec : headerVarSpecs()) {
    if (v < spec.since || v > spec.until) continue;
    const std::string name = spec.name;
    const std::string type = spec.type;
    const Tags* val = name[0] == '_' ? nullptr : headerValues(d, name);
    if (name == "CPSNID" && plotStyleType != 3) continue;
    // The four save settings come from the drawing's settings, not from its variables.
    if (name == "PROXYGRAPHICS") {
      data.BS(d.settings.saveProxyGraphics);
      continue;
    }
    if (name == "INDEXCTL") {
      data.RC(d.settings.indexCtl);
      continue;
    }
    if (name == "SORTENTS") {
      data.RC(d.settings.drawOrderCtl);
      continue;
    }
    if (type == "B") data.B(intAt(val, 0, intDefault(name)) != 0);
    else if (type == "BB") data.BB(uint8_t(intAt(val, 0, intDefault(name))));
    else if (type == "BS") {
      int64_t x = intAt(val, 0, intDefault(name));
      if (name == "CEPSNTYPE") plotStyleType = x;
      data.BS(int16_t(x));
    } else if (type == "BL") data.BL(int32_t(intAt(val, 0, intDefault(name))));
    else if (type == "BLL") data.BLL(uint64_t(intAt(val, 0, intDefault(name))));
    else if (type == "BD") data.BD(realAt(val, 0, realDefault(name)));
    else if (type == "RC") data.RC(uint8_t(intAt(val, 0, intDefault(name))));
    else if (type == "RS") data.RS(uint16_t(intAt(val, 0, intDefault(name))));
    else if (type == "RL") data.RL(uint32_t(intAt(val, 0, intDefault(name))));
    else if (type == "RD") data.RD(realAt(val, 0, realDefault(name)));
    else if (type == "TV") text(val && (*val)[0].kind == ValueKind::String ? (*val)[0].s : textDefault(name));
    else if (type == "CMC") {
      CmColor c;
      c.index = int16_t(intAt(val, 0, intDefault(name)));
      c.rgb = c.index == 256 ? 0xC0000000u : c.index == 0 ? 0xC1000000u : 0xC3000000u | uint32_t(c.index & 0xFF);
      if (val)
        for (const Tag& t : *val)
          if (t.code == 420) c.rgb = 0xC2000000u | uint32_t(t.i & 0xFFFFFF);
      data.CMC(c, v >= Version::R2007 ? &strings : nullptr);
    } else if (type == "BD3") {
      double dz = (name == "EXTMIN" || name == "PEXTMIN") ? 1e20 : (name == "EXTMAX" || name == "PEXTMAX") ? -1e20 : 0;
      Point3 p{realAt(val, 0, dz), realAt(val, 1, dz), realAt(val, 2, dz)};
      if (!val && name.find("XDIR") != std::string::npos) p = Point3{1, 0, 0};
      if (!val && name.find("YDIR") != std::string::npos) p = Point3{0, 1, 0};
      data.BD3(p);
    } else if (type == "RD2") {
      double dflt = name == "LIMMAX" || name == "PLIMMAX" ? (name == "LIMMAX" ? 12.0 : 12.0) : 0.0;
      Point2 p{realAt(val, 0, dflt), realAt(val, 1, dflt == 12.0 ? 9.0 : 0.0)};
      data.RD2(p);
    } else if (type == "TIME") {
      uint32_t day = 0, ms = 0;
      julian(realAt(val, 0, realDefault(name)), day, ms);
      if (name == "TDINDWG" || name == "TDUSRTIMER") {
        double x = realAt(val, 0, 0);
        day = uint32_t(std::max(0.0, std::floor(x)));
        ms = uint32_t(std::max(0.0, (x - std::floor(x)) * 86400000.0));
      }
      data.BL(int32_t(day));
      data.BL(int32_t(ms));
    } else if (type == "SEED") {
      data.H(HandleRef{0, links.seed});
    } else if (type == "H") {
      Handle h = 0;
      auto it = links.handles.find(name);
      if (it != links.handles.end()) {
        h = it->second;
      } else if (val) {
        const Tag& t = (*val)[0];
        if (t.kind == ValueKind::String) {
          const char* table = headerTable(name);
          if (table && ctx.names && !t.s.empty()) h = ctx.names->find(table, t.s);
        } else {
          h = Handle(t.i);
        }
      }
      if (!h && name == "CLAYER" && ctx.names) h = ctx.names->find("LAYER", "0");
      if (!h && name == "TEXTSTYLE" && ctx.names) h = ctx.names->find("STYLE", "Standard");
      if (!h && name == "CELTYPE" && ctx.names) h = ctx.names->find("LTYPE", "ByLayer");
      if (!h && name == "DIMSTYLE" && ctx.names) h = ctx.names->find("DIMSTYLE", "Standard");
      if (!h && name == "CMLSTYLE" && ctx.names) h = ctx.names->find("MLINESTYLE", "Standard");
      handle(h);
    } else if (type == "FLAGS") {
      auto get = [&](const char* n, int64_t dflt) { return intAt(headerValues(d, n), 0, dflt); };
      int32_t f = lineweightIndex(int(get("CELWEIGHT", -1))) & 0x1F;
      f |= int32_t(get("ENDCAPS", 0) & 3) << 5;
      f |= int32_t(get("JOINSTYLE", 0) & 3) << 7;
      if (!get("LWDISPLAY", 0)) f |= 0x200;
      if (!get("XEDIT", 1)) f |= 0x400;
      if (get("EXTNAMES", 1)) f |= 0x800;
      if (get("PSTYLEMODE", 1)) f |= 0x2000;
      if (get("OLESTARTUP", 0)) f |= 0x4000;
      data.BL(f);
    }
  }
  std::vector<uint8_t> payload = joinStreams(data, strings, &handles, v);
  return frame(kSentinelHeaderVars, payload);
}

std::vector<uint8_t> writeClassesSection(const std::vector<DwgClass>& classes, Version v) {
  BitWriter data(v), strings(v);
  auto text = [&](const std::string& s) {
    if (v >= Version::R2007) strings.TU(utf8ToUtf16(s));
    else data.T(s);
  };
  data.BS(int16_t(499 + classes.size()));
  data.RC(0);
  data.RC(0);
  data.B(true);
  for (const DwgClass& c : classes) {
    data.BS(int16_t(c.number));
    data.BS(int16_t(c.proxyFlags));
    text(c.appName);
    text(c.cppName);
    text(c.dxfName);
    data.B(c.wasZombie);
    data.BS(int16_t(c.isEntity ? 0x1F2 : 0x1F3));
    data.BL(c.instances);
    data.BL(0);
    data.BL(0);
    data.BL(0);
    data.BL(0);
  }
  std::vector<uint8_t> payload = joinStreams(data, strings, nullptr, v);
  return frame(kSentinelClasses, payload);
}

std::vector<uint8_t> writeObjectMap(std::vector<std::pair<Handle, uint64_t>> entries) {
  std::sort(entries.begin(), entries.end());
  std::vector<uint8_t> out;
  out.reserve(entries.size() * 3 + 64);  // a pair of neighbouring records takes two or three bytes
  constexpr size_t kMaxChunk = 2032;  // bytes of a chunk including its size field
  size_t i = 0;
  auto closeChunk = [&](const std::vector<uint8_t>& body) {
    size_t start = out.size();
    size_t size = body.size() + 2;
    out.push_back(uint8_t(size >> 8));
    out.push_back(uint8_t(size & 0xFF));
    out.insert(out.end(), body.begin(), body.end());
    uint16_t crc = crc16(kCrc16Seed, out.data() + start, size);
    out.push_back(uint8_t(crc >> 8));
    out.push_back(uint8_t(crc & 0xFF));
  };
  BitWriter pair;  // one pair at a time, in a buffer that stays
  std::vector<uint8_t> body;
  while (i < entries.size()) {
    body.clear();
    Handle lastHandle = 0;
    int64_t lastOffset = 0;
    while (i < entries.size()) {
      pair.clear();
      pair.UMC(entries[i].first - lastHandle);
      pair.MC(int64_t(entries[i].second) - lastOffset);
      auto b = pair.bytes();
      if (body.size() + b.size() + 2 > kMaxChunk) break;
      body.insert(body.end(), b.begin(), b.end());
      lastHandle = entries[i].first;
      lastOffset = int64_t(entries[i].second);
      ++i;
    }
    closeChunk(body);
  }
  closeChunk({});
  return out;
}

std::vector<uint8_t> writeAuxHeader(const FileInfo& f) {
  std::vector<uint8_t> b = {0xFF, 0x77, 0x01};
  putRS(b, 31);  // AC1027
  putRS(b, 8);   // maintenance version
  putRL(b, 1);   // number of saves
  putRL(b, 0xFFFFFFFFu);
  putRS(b, 1);
  putRS(b, 0);
  putRL(b, 0);
  for (int i = 0; i < 2; ++i) {
    putRS(b, 31);
    putRS(b, 8);
  }
  for (uint16_t x : {0x0005, 0x0893, 0x0005, 0x0893, 0x0000, 0x0001}) putRS(b, x);
  for (int i = 0; i < 5; ++i) putRL(b, 0);
  putDate(b, f.created);
  putDate(b, f.updated);
  putRL(b, f.seed <= 0x7FFFFFFF ? uint32_t(f.seed) : 0);
  putRL(b, 0);  // plot stamp
  putRS(b, 0);
  putRS(b, 2);  // saves + 1
  putRL(b, 0);
  putRL(b, 0);
  putRL(b, 0);
  putRL(b, 1);  // saves
  putRL(b, 0);
  putRL(b, 0);
  putRL(b, 0);
  putRL(b, 0);
  return b;
}

std::vector<uint8_t> writePreview(const FileInfo& f) {
  std::vector<uint8_t> b(kSentinelPreview.begin(), kSentinelPreview.end());
  if (f.thumbnail.empty()) {
    putRL(b, 1);
    b.push_back(0);
  } else {
    // One BMP picture; its start is counted from the section's beginning.
    const uint32_t start = 16 + 4 + 1 + 9;
    putRL(b, uint32_t(1 + 9 + f.thumbnail.size()));
    b.push_back(1);
    b.push_back(2);  // code 2: BMP
    putRL(b, start);
    putRL(b, uint32_t(f.thumbnail.size()));
    b.insert(b.end(), f.thumbnail.begin(), f.thumbnail.end());
  }
  DwgSentinel end = complementOf(kSentinelPreview);
  b.insert(b.end(), end.begin(), end.end());
  return b;
}

std::vector<uint8_t> writeSummaryInfo(const FileInfo& f) {
  std::vector<uint8_t> b;
  for (int i = 0; i < 5; ++i) putText16(b, "");  // title, subject, author, keywords, comments
  putText16(b, f.lastSavedBy);
  putText16(b, "");  // revision
  putText16(b, "");  // hyperlink base
  putRL(b, 0);       // total editing time
  putRL(b, 0);
  putDate(b, f.created);
  putDate(b, f.updated);
  putRS(b, 0);  // no custom properties
  putRL(b, 0);
  putRL(b, 0);
  return b;
}

std::vector<uint8_t> writeAppInfo() {
  std::vector<uint8_t> b;
  putRL(b, 3);
  putText16(b, "AppInfoDataList");
  putRL(b, 3);
  b.insert(b.end(), 16, 0);
  putText16(b, "1.0.0");
  b.insert(b.end(), 16, 0);
  putText16(b, "Written by kelmoor.");
  b.insert(b.end(), 16, 0);
  putText16(b, "<ProductInformation name =\"kelmoor\" build_version=\"1.0\"/>");
  return b;
}

std::vector<uint8_t> writeFileDepList() {
  std::vector<uint8_t> b;
  putRL(b, 0);  // features
  putRL(b, 0);  // files
  return b;
}

std::vector<uint8_t> writeRevHistory() {
  std::vector<uint8_t> b;
  putRL(b, 0);
  putRL(b, 0);
  putRL(b, 1);
  putRL(b, 0);
  return b;
}

std::vector<uint8_t> writeTemplate(const FileInfo& f) {
  std::vector<uint8_t> b;
  putText16(b, "");  // description
  putRS(b, uint16_t(f.measurement));
  return b;
}

std::vector<uint8_t> writeObjFreeSpace(const FileInfo& f) {
  std::vector<uint8_t> b;
  putRLL(b, 0);
  putRLL(b, f.objects);
  putDate(b, f.updated);
  b.push_back(4);
  for (uint64_t x : {0x32ull, 0ull, 0x64ull, 0ull, 0x200ull, 0ull, 0xFFFFFFFFull, 0ull}) putRLL(b, x);
  return b;
}

// ---- thumbnail ---------------------------------------------------------------------------------

std::vector<uint8_t> renderThumbnail(const engine::Drawing& d, int size) {
  // Segments of the simple curves of model space.
  struct Seg {
    double x0, y0, x1, y1;
  };
  std::vector<Seg> segs;
  auto circle = [&](double cx, double cy, double r, double a0, double a1) {
    if (!(r > 0)) return;
    if (a1 <= a0) a1 += 2 * M_PI;
    int n = 24;
    double px = cx + r * std::cos(a0), py = cy + r * std::sin(a0);
    for (int i = 1; i <= n; ++i) {
      double a = a0 + (a1 - a0) * i / n;
      double x = cx + r * std::cos(a), y = cy + r * std::sin(a);
      segs.push_back({px, py, x, y});
      px = x;
      py = y;
    }
  };
  std::vector<std::pair<double, double>> poly;
  for (const auto& e : d.entities) {
    if (e.integer(67) == 1) continue;
    if (e.type == "LINE") segs.push_back({e.real(10), e.real(20), e.real(11), e.real(21)});
    else if (e.type == "CIRCLE") circle(e.real(10), e.real(20), e.real(40), 0, 2 * M_PI);
    else if (e.type == "ARC") circle(e.real(10), e.real(20), e.real(40), e.real(50) * M_PI / 180, e.real(51) * M_PI / 180);
    else if (e.type == "LWPOLYLINE") {
      poly.clear();
      double x = 0;
      for (const auto& t : e.body) {
        if (t.code == 10) x = engine::asDouble(t);
        else if (t.code == 20) poly.push_back({x, engine::asDouble(t)});
      }
      for (size_t i = 1; i < poly.size(); ++i)
        segs.push_back({poly[i - 1].first, poly[i - 1].second, poly[i].first, poly[i].second});
    }
  }
  const int w = size, h = size;
  const int stride = (w + 3) & ~3;
  std::vector<uint8_t> pixels(size_t(stride) * h, 0);  // palette index 0: white
  if (!segs.empty()) {
    double minx = 1e300, miny = 1e300, maxx = -1e300, maxy = -1e300;
    for (const Seg& s : segs)
      for (auto [x, y] : {std::pair{s.x0, s.y0}, std::pair{s.x1, s.y1}}) {
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        minx = std::min(minx, x), maxx = std::max(maxx, x), miny = std::min(miny, y), maxy = std::max(maxy, y);
      }
    double span = std::max(maxx - minx, maxy - miny);
    if (span > 0 && std::isfinite(span)) {
      double scale = (size - 3) / span;
      for (const Seg& s : segs) {
        if (!std::isfinite(s.x0 + s.y0 + s.x1 + s.y1)) continue;
        double ax = 1 + (s.x0 - minx) * scale, ay = 1 + (s.y0 - miny) * scale;
        double bx = 1 + (s.x1 - minx) * scale, by = 1 + (s.y1 - miny) * scale;
        int steps = int(std::max(std::abs(bx - ax), std::abs(by - ay))) + 1;
        for (int i = 0; i <= steps; ++i) {
          int px = int(ax + (bx - ax) * i / steps), py = int(ay + (by - ay) * i / steps);
          if (px >= 0 && px < w && py >= 0 && py < h) pixels[size_t(py) * stride + px] = 1;  // bottom-up rows
        }
      }
    }
  }
  std::vector<uint8_t> b;
  putRL(b, 40);  // BITMAPINFOHEADER
  putRL(b, uint32_t(w));
  putRL(b, uint32_t(h));
  putRS(b, 1);
  putRS(b, 8);
  putRL(b, 0);
  putRL(b, uint32_t(pixels.size()));
  putRL(b, 0);
  putRL(b, 0);
  putRL(b, 256);
  putRL(b, 0);
  for (int i = 0; i < 256; ++i) {
    uint8_t c = i == 0 ? 255 : 0;
    b.insert(b.end(), {c, c, c, 0});
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

}  // namespace kel::dwg
