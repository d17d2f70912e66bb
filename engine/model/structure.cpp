// Completing a drawing's record structure (see structure.h).
#include "engine/model/structure.h"

#include "engine/dwg/raw_records.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace kel::engine {

namespace {

std::string hex(Handle h) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(h));
  return buf;
}

// ---- subclass layout of the record types R12 files carry ----

// One subclass of a record: its marker and the group codes that belong to it. An empty code list
// takes every group no other subclass of the record claims.
struct Part {
  const char* marker;
  std::vector<int> codes;
  bool catchAll = false;
};

const std::vector<int> kEntityCodes = {67, 410, 8, 6, 62, 370, 48, 60, 420, 430, 440, 390, 284, 347};

const char* polylineMarker(int64_t flags) {
  if (flags & 8) return "AcDb3dPolyline";
  if (flags & 16) return "AcDbPolygonMesh";
  if (flags & 64) return "AcDbPolyFaceMesh";
  return "AcDb2dPolyline";
}

std::vector<Part> entityParts(const Object& o) {
  const std::string& t = o.type;
  auto all = [](const char* m) { return Part{m, {}, true}; };
  if (t == "LINE") return {all("AcDbLine")};
  if (t == "POINT") return {all("AcDbPoint")};
  if (t == "CIRCLE") return {all("AcDbCircle")};
  if (t == "ARC") return {all("AcDbCircle"), {"AcDbArc", {50, 51}}};
  if (t == "SOLID" || t == "TRACE") return {all("AcDbTrace")};
  if (t == "3DFACE") return {all("AcDbFace")};
  if (t == "SHAPE") return {all("AcDbShape")};
  if (t == "TEXT") return {all("AcDbText"), {"AcDbText", {73}}};
  if (t == "ATTDEF") return {all("AcDbText"), {"AcDbAttributeDefinition", {3, 2, 70, 73, 74, 280}}};
  if (t == "ATTRIB") return {all("AcDbText"), {"AcDbAttribute", {2, 70, 73, 74, 280}}};
  if (t == "INSERT") return {all("AcDbBlockReference")};
  if (t == "POLYLINE") return {all(polylineMarker(o.integer(70)))};
  if (t == "VIEWPORT") return {all("AcDbViewport")};
  if (t == "BLOCK") return {all("AcDbBlockBegin")};
  if (t == "ENDBLK") return {all("AcDbBlockEnd")};
  if (t == "SEQEND") return {};
  if (t == "VERTEX") {
    int64_t f = o.integer(70);
    if ((f & 128) && !(f & 64)) return {all("AcDbFaceRecord")};  // a polyface mesh face
    const char* m = (f & 8) ? "AcDb3dPolylineVertex"
                    : (f & 128) ? "AcDbPolyFaceMeshVertex"
                    : (f & 64) ? "AcDbPolygonMeshVertex" : "AcDb2dVertex";
    return {{"AcDbVertex", {}}, all(m)};
  }
  if (t == "DIMENSION") {
    switch (o.integer(70) & 7) {
      case 0: return {all("AcDbDimension"), {"AcDbAlignedDimension", {13, 23, 33, 14, 24, 34, 50, 52}},
                      {"AcDbRotatedDimension", {}}};
      case 1: return {all("AcDbDimension"), {"AcDbAlignedDimension", {13, 23, 33, 14, 24, 34, 50}}};
      case 2: return {all("AcDbDimension"),
                      {"AcDb2LineAngularDimension", {13, 23, 33, 14, 24, 34, 15, 25, 35, 16, 26, 36}}};
      case 3: return {all("AcDbDimension"), {"AcDbDiametricDimension", {15, 25, 35, 40}}};
      case 4: return {all("AcDbDimension"), {"AcDbRadialDimension", {15, 25, 35, 40}}};
      case 5: return {all("AcDbDimension"), {"AcDb3PointAngularDimension", {13, 23, 33, 14, 24, 34, 15, 25, 35}}};
      default: return {all("AcDbDimension"), {"AcDbOrdinateDimension", {13, 23, 33, 14, 24, 34}}};
    }
  }
  return {all(nullptr)};  // unknown: groups stay together after the entity part
}

}  // namespace

const std::vector<std::string>& standardTables() {
  static const std::vector<std::string> t = {"VPORT", "LTYPE", "LAYER", "STYLE", "VIEW",
                                             "UCS", "APPID", "DIMSTYLE", "BLOCK_RECORD"};
  return t;
}

const char* tableRecordMarker(const std::string& table) {
  if (table == "VPORT") return "AcDbViewportTableRecord";
  if (table == "LTYPE") return "AcDbLinetypeTableRecord";
  if (table == "LAYER") return "AcDbLayerTableRecord";
  if (table == "STYLE") return "AcDbTextStyleTableRecord";
  if (table == "VIEW") return "AcDbViewTableRecord";
  if (table == "UCS") return "AcDbUCSTableRecord";
  if (table == "APPID") return "AcDbRegAppTableRecord";
  if (table == "DIMSTYLE") return "AcDbDimStyleTableRecord";
  if (table == "BLOCK_RECORD") return "AcDbBlockTableRecord";
  return nullptr;
}

void addSubclassMarkers(Object& o, bool tableEntry) {
  if (o.hasSubclasses()) return;
  Tags out;
  out.reserve(o.body.size() + 4);
  if (tableEntry) {
    out.push_back(Tag::str(100, "AcDbSymbolTableRecord"));
    if (const char* m = tableRecordMarker(o.type)) out.push_back(Tag::str(100, m));
    for (auto& t : o.body) out.push_back(std::move(t));
    o.body = std::move(out);
    return;
  }
  std::vector<Part> parts = entityParts(o);
  std::vector<bool> used(o.body.size(), false);
  out.push_back(Tag::str(100, "AcDbEntity"));
  for (size_t i = 0; i < o.body.size(); ++i)
    if (std::find(kEntityCodes.begin(), kEntityCodes.end(), o.body[i].code) != kEntityCodes.end()) {
      out.push_back(o.body[i]);
      used[i] = true;
    }
  if (!o.find(8)) out.insert(out.begin() + 1, Tag::str(8, "0"));  // every entity sits on a layer
  // Claimed codes first, so the catch-all part only takes what is left.
  std::vector<Tags> content(parts.size());
  for (size_t p = 0; p < parts.size(); ++p) {
    if (parts[p].catchAll) continue;
    for (size_t i = 0; i < o.body.size(); ++i)
      if (!used[i] && std::find(parts[p].codes.begin(), parts[p].codes.end(), o.body[i].code) !=
                          parts[p].codes.end()) {
        content[p].push_back(o.body[i]);
        used[i] = true;
      }
  }
  for (size_t p = 0; p < parts.size(); ++p) {
    if (!parts[p].catchAll) continue;
    for (size_t i = 0; i < o.body.size(); ++i)
      if (!used[i]) {
        content[p].push_back(o.body[i]);
        used[i] = true;
      }
  }
  for (size_t p = 0; p < parts.size(); ++p) {
    if (parts[p].marker) out.push_back(Tag::str(100, parts[p].marker));
    for (auto& t : content[p]) out.push_back(std::move(t));
  }
  o.body = std::move(out);
}

namespace {

Object makeRecord(const std::string& type, Handle h, Handle owner, Tags body) {
  Object o;
  o.type = type;
  o.handle = h;
  o.owner = owner;
  o.body = std::move(body);
  return o;
}

// Dictionary entries: (name, handle) pairs of "3 name / 350|360 handle".
Handle dictEntry(const Object& dict, const std::string& key) {
  for (size_t i = 0; i + 1 < dict.body.size(); ++i)
    if (dict.body[i].code == 3 && sameName(dict.body[i].s, key) &&
        (dict.body[i + 1].code == 350 || dict.body[i + 1].code == 360))
      return Handle(asInt(dict.body[i + 1]));
  return 0;
}
void addDictEntry(Object& dict, const std::string& key, Handle h) {
  dict.body.push_back(Tag::str(3, key));
  dict.body.push_back(Tag::handle(350, h));
}
Tags dictionaryBody() { return {Tag::str(100, "AcDbDictionary"), Tag::integer(281, 1)}; }

Tags layoutBody(const std::string& name, int tabOrder, Handle blockRecord) {
  Tags b = {Tag::str(100, "AcDbPlotSettings"), Tag::str(1, ""), Tag::str(2, "none_device"),
            Tag::str(4, ""), Tag::str(6, "")};
  for (int c = 40; c <= 47; ++c) b.push_back(Tag::real(c, 0));
  for (int c : {48, 49, 140, 141}) b.push_back(Tag::real(c, 0));
  b.push_back(Tag::real(142, 1));
  b.push_back(Tag::real(143, 1));
  for (auto [c, v] : {std::pair{70, 688}, {72, 0}, {73, 0}, {74, 5}}) b.push_back(Tag::integer(c, v));
  b.push_back(Tag::str(7, ""));
  for (auto [c, v] : {std::pair{75, 16}}) b.push_back(Tag::integer(c, v));
  b.push_back(Tag::real(147, 1));
  for (auto [c, v] : {std::pair{76, 0}, {77, 2}, {78, 300}}) b.push_back(Tag::integer(c, v));
  b.push_back(Tag::real(148, 0));
  b.push_back(Tag::real(149, 0));
  b.push_back(Tag::str(100, "AcDbLayout"));
  b.push_back(Tag::str(1, name));
  b.push_back(Tag::integer(70, 1));
  b.push_back(Tag::integer(71, tabOrder));
  auto pt = [&](int code, double x, double y, bool z) {
    b.push_back(Tag::real(code, x));
    b.push_back(Tag::real(code + 10, y));
    if (z) b.push_back(Tag::real(code + 20, 0));
  };
  pt(10, 0, 0, false);
  pt(11, 12, 9, false);
  pt(12, 0, 0, true);
  pt(14, 0, 0, true);
  pt(15, 0, 0, true);
  b.push_back(Tag::real(146, 0));
  pt(13, 0, 0, true);
  pt(16, 1, 0, true);
  pt(17, 0, 1, true);
  b.push_back(Tag::integer(76, 0));
  b.push_back(Tag::handle(330, blockRecord));
  return b;
}

bool isLayoutBlockName(const std::string& n) {
  std::string u = upper(n);
  return u == "*MODEL_SPACE" || u.rfind("*PAPER_SPACE", 0) == 0;
}

// The standard entries every drawing has, as R12-style bodies (markers are added later).
struct StdEntry {
  const char* table;
  const char* name;
  Tags body;
};
std::vector<StdEntry> standardEntries() {
  return {
      {"VPORT", "*Active",
       {Tag::str(2, "*Active"), Tag::integer(70, 0), Tag::real(10, 0), Tag::real(20, 0), Tag::real(11, 1),
        Tag::real(21, 1), Tag::real(12, 6), Tag::real(22, 4.5), Tag::real(40, 9), Tag::real(41, 1.5)}},
      {"LTYPE", "ByBlock",
       {Tag::str(2, "ByBlock"), Tag::integer(70, 0), Tag::str(3, ""), Tag::integer(72, 65),
        Tag::integer(73, 0), Tag::real(40, 0)}},
      {"LTYPE", "ByLayer",
       {Tag::str(2, "ByLayer"), Tag::integer(70, 0), Tag::str(3, ""), Tag::integer(72, 65),
        Tag::integer(73, 0), Tag::real(40, 0)}},
      {"LTYPE", "Continuous",
       {Tag::str(2, "Continuous"), Tag::integer(70, 0), Tag::str(3, "Solid line"), Tag::integer(72, 65),
        Tag::integer(73, 0), Tag::real(40, 0)}},
      {"LAYER", "0", {Tag::str(2, "0"), Tag::integer(70, 0), Tag::integer(62, 7), Tag::str(6, "Continuous")}},
      {"STYLE", "Standard",
       {Tag::str(2, "Standard"), Tag::integer(70, 0), Tag::real(40, 0), Tag::real(41, 1), Tag::real(50, 0),
        Tag::integer(71, 0), Tag::real(42, 0.2), Tag::str(3, "txt"), Tag::str(4, "")}},
      {"APPID", "ACAD", {Tag::str(2, "ACAD"), Tag::integer(70, 0)}},
      {"DIMSTYLE", "Standard", {Tag::str(2, "Standard"), Tag::integer(70, 0)}},
  };
}

// The handles in use. Drawings number their records from 1 up with few gaps, so a bit per handle
// up to the largest is usually smaller than a list and needs no sorting; handles spread wider
// than 64 per record fall back to a sorted list (8 bytes a record where a hash set takes about 40).
class HandleIndex {
 public:
  explicit HandleIndex(const Drawing& d) {
    size_t records = 0;
    Handle top = 0;
    d.forEachObject([&](const Object& o) {
      ++records;
      top = std::max(top, o.handle);
    });
    m_records = records;
    if (top / 64 <= records) {
      m_bits.assign(size_t(top / 64 + 1), 0);
      d.forEachObject([&](const Object& o) { m_bits[o.handle >> 6] |= uint64_t(1) << (o.handle & 63); });
      return;
    }
    m_h.reserve(records);
    d.forEachObject([&](const Object& o) { m_h.push_back(o.handle); });
    std::sort(m_h.begin(), m_h.end());
  }
  size_t count(Handle h) const {
    if (!m_bits.empty()) return h >> 6 < m_bits.size() ? (m_bits[h >> 6] >> (h & 63)) & 1 : 0;
    return std::binary_search(m_h.begin(), m_h.end(), h) ? 1 : 0;
  }
  // The handles in ascending order (each once when they came as bits).
  std::vector<Handle> sorted() && {
    if (m_bits.empty()) return std::move(m_h);
    std::vector<Handle> out;
    out.reserve(m_records);
    for (size_t w = 0; w < m_bits.size(); ++w)
      for (uint64_t b = m_bits[w]; b; b &= b - 1) out.push_back(Handle(w * 64 + size_t(std::countr_zero(b))));
    return out;
  }

 private:
  size_t m_records = 0;
  std::vector<uint64_t> m_bits;
  std::vector<Handle> m_h;
};

}  // namespace

void completeStructure(Drawing& d, Notes& notes) {
  // 1. Handles: every record gets one, and no two records share one.
  {
    // Sorted handles find the duplicates (rare) without a hash set of every handle.
    std::vector<Handle> sorted;
    d.forEachObject([&](const Object& o) { sorted.push_back(o.handle); });
    std::sort(sorted.begin(), sorted.end());
    std::vector<Handle> repeated;
    for (size_t i = 1; i < sorted.size(); ++i)
      if (sorted[i] != 0 && sorted[i] == sorted[i - 1] && (repeated.empty() || repeated.back() != sorted[i]))
        repeated.push_back(sorted[i]);
    sorted = {};
    std::unordered_set<Handle> seen;  // of the repeated handles only
    std::vector<Object*> needing;
    size_t dups = 0;
    d.forEachObject([&](Object& o) {
      const bool repeats = o.handle != 0 && std::binary_search(repeated.begin(), repeated.end(), o.handle);
      if (o.handle == 0 || (repeats && !seen.insert(o.handle).second)) {
        if (o.handle != 0) {
          ++dups;
          notes.push_back("duplicate handle " + hex(o.handle) + " on " + o.type + ": a new handle is assigned");
        }
        needing.push_back(&o);
      }
    });
    d.nextHandle = std::max(d.nextHandle, d.maxHandle() + 1);
    for (Object* o : needing) o->handle = d.newHandle();
    if (needing.size() > dups)
      notes.push_back(std::to_string(needing.size() - dups) + " records without a handle got new handles");
  }

  // 2. The nine tables in standard order (others follow), each with a control record.
  {
    std::vector<SymbolTable> ordered;
    for (const auto& name : standardTables()) {
      SymbolTable* t = d.table(name);
      if (t) {
        ordered.push_back(std::move(*t));
        t->name.clear();
      } else {
        SymbolTable nt;
        nt.name = name;
        nt.control.type = "TABLE";
        nt.control.handle = d.newHandle();
        ordered.push_back(std::move(nt));
        if (name != "BLOCK_RECORD" || d.version >= 1012)
          notes.push_back("table " + name + " was missing: created");
      }
    }
    for (auto& t : d.tables)
      if (!t.name.empty()) ordered.push_back(std::move(t));
    d.tables = std::move(ordered);
  }
  for (auto& t : d.tables) {
    Object& c = t.control;
    c.type = "TABLE";
    c.owner = 0;
    if (!c.hasSubclasses()) {
      Tags b = {Tag::str(100, "AcDbSymbolTable"), Tag::integer(70, 0)};
      if (t.name == "DIMSTYLE") {
        b.push_back(Tag::str(100, "AcDbDimStyleTable"));
        b.push_back(Tag::integer(71, 0));
      }
      c.body = std::move(b);
    }
  }
  for (auto& se : standardEntries()) {
    SymbolTable* t = d.table(se.table);
    bool found = false;
    for (auto& e : t->entries)
      if (sameName(e.text(2), se.name)) found = true;
    if (found) continue;
    auto pos = t->entries.begin();
    if (std::string(se.table) == "LTYPE") {
      // ByBlock, ByLayer, Continuous lead the linetype table.
      size_t n = 0;
      while (n < t->entries.size() &&
             (sameName(t->entries[n].text(2), "ByBlock") || sameName(t->entries[n].text(2), "ByLayer")))
        ++n;
      pos = t->entries.begin() + long(n);
    }
    t->entries.insert(pos, makeRecord(se.table, d.newHandle(), 0, se.body));
  }

  // 3. Blocks: layout blocks under their current names, a *Model_Space and a *Paper_Space block,
  //    and one block record per block.
  for (auto& b : d.blocks) {
    if (Tag* n = b.begin.find(2)) {
      std::string u = upper(n->s);
      if (u == "$MODEL_SPACE") n->s = "*Model_Space";
      else if (u == "$PAPER_SPACE") n->s = "*Paper_Space";
      else if (u == "*MODEL_SPACE") n->s = "*Model_Space";
      else if (u == "*PAPER_SPACE") n->s = "*Paper_Space";
    }
    if (Tag* n3 = b.begin.find(3)) {
      std::string u = upper(n3->s);
      if (u == "$MODEL_SPACE" || u == "*MODEL_SPACE") n3->s = "*Model_Space";
      if (u == "$PAPER_SPACE" || u == "*PAPER_SPACE") n3->s = "*Paper_Space";
    }
  }
  for (const char* name : {"*Model_Space", "*Paper_Space"}) {
    if (d.block(name)) continue;
    Block b;
    b.begin = makeRecord("BLOCK", d.newHandle(), 0,
                         {Tag::str(8, "0"), Tag::str(2, name), Tag::integer(70, 0), Tag::real(10, 0),
                          Tag::real(20, 0), Tag::real(30, 0), Tag::str(3, name), Tag::str(1, "")});
    b.end = makeRecord("ENDBLK", d.newHandle(), 0, {Tag::str(8, "0")});
    d.blocks.insert(d.blocks.begin() + (name[1] == 'M' ? 0 : 1), std::move(b));
  }
  SymbolTable& brt = *d.table("BLOCK_RECORD");
  std::unordered_map<std::string, size_t> recordIndex;
  for (size_t i = 0; i < brt.entries.size(); ++i) recordIndex[upper(brt.entries[i].text(2))] = i;
  for (auto& b : d.blocks) {
    std::string key = upper(b.name());
    if (!recordIndex.count(key)) {
      brt.entries.push_back(makeRecord("BLOCK_RECORD", d.newHandle(), 0, {Tag::str(2, b.name())}));
      recordIndex[key] = brt.entries.size() - 1;
    }
  }
  // Block records without a block definition get an empty one, so every record has its block.
  for (auto& r : brt.entries) {
    if (d.block(r.text(2))) continue;
    Block b;
    b.begin = makeRecord("BLOCK", d.newHandle(), 0,
                         {Tag::str(8, "0"), Tag::str(2, r.text(2)), Tag::integer(70, 0), Tag::real(10, 0),
                          Tag::real(20, 0), Tag::real(30, 0), Tag::str(3, r.text(2)), Tag::str(1, "")});
    b.end = makeRecord("ENDBLK", d.newHandle(), 0, {Tag::str(8, "0")});
    notes.push_back("block record " + r.text(2) + " had no block definition: an empty one is added");
    d.blocks.push_back(std::move(b));
  }

  // 4. Table entries: subclass markers and owners.
  for (auto& t : d.tables) {
    for (auto& e : t.entries) {
      if (!e.hasSubclasses() && t.name == "DIMSTYLE") {
        // R12 names the arrow blocks (5, 6, 7); current files point at their block records.
        Tags keep;
        for (auto& tag : e.body) {
          if (tag.code == 5 || tag.code == 6 || tag.code == 7) {
            if (tag.kind == ValueKind::Handle) {  // a block name that looked like a number
              char buf[24];
              std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(tag.i));
              tag = Tag::str(tag.code, buf);
            }
            auto it = recordIndex.find(upper(tag.s));
            if (!tag.s.empty() && it != recordIndex.end())
              keep.push_back(Tag::handle(tag.code == 5 ? 342 : tag.code == 6 ? 343 : 344,
                                         brt.entries[it->second].handle));
            continue;
          }
          keep.push_back(std::move(tag));
        }
        e.body = std::move(keep);
      }
      addSubclassMarkers(e, true);
      e.owner = t.control.handle;
    }
  }

  // 5. Entities: a leader needs at least two vertices to be drawn at all; one with fewer is
  //    dropped (readers refuse it).
  auto dropBadLeaders = [&](std::vector<Object>& list) {
    auto bad = [&](const Object& e) {
      if (e.type != "LEADER") return false;
      bool inLeader = false;
      int points = 0;
      for (const auto& t : e.body) {
        if (t.code == 100) inLeader = t.s == "AcDbLeader";
        else if (inLeader && t.code == 10) ++points;
      }
      if (points >= 2) return false;
      notes.push_back("LEADER " + hex(e.handle) + " has " + std::to_string(points) + " vertices: dropped");
      return true;
    };
    list.erase(std::remove_if(list.begin(), list.end(), bad), list.end());
  };
  for (auto& b : d.blocks) dropBadLeaders(b.entities);
  dropBadLeaders(d.entities);

  // Subclass markers and owners (sub-entities belong to their parent).
  auto placeEntities = [&](std::vector<Object>& list, auto ownerOf) {
    Handle parent = 0;
    for (auto& e : list) {
      addSubclassMarkers(e, false);
      if (e.type == "VERTEX" || e.type == "ATTRIB" || e.type == "SEQEND") {
        if (parent) {
          e.owner = parent;
          if (e.type == "SEQEND") parent = 0;
          continue;
        }
      } else if (e.type == "POLYLINE" || (e.type == "INSERT" && e.integer(66) == 1)) {
        e.owner = ownerOf(e);
        parent = e.handle;
        continue;
      }
      parent = 0;
      e.owner = ownerOf(e);
    }
  };
  for (auto& b : d.blocks) {
    Handle rec = brt.entries[recordIndex[upper(b.name())]].handle;
    addSubclassMarkers(b.begin, false);
    addSubclassMarkers(b.end, false);
    b.begin.owner = b.end.owner = rec;
    placeEntities(b.entities, [&](const Object&) { return rec; });
  }
  Handle msRec = brt.entries[recordIndex["*MODEL_SPACE"]].handle;
  Handle psRec = brt.entries[recordIndex["*PAPER_SPACE"]].handle;
  placeEntities(d.entities, [&](const Object& e) { return e.integer(67) == 1 ? psRec : msRec; });

  // 6. Objects: the named-object dictionary first, with groups and layouts.
  if (d.objects.empty() || d.objects.front().type != "DICTIONARY") {
    d.objects.insert(d.objects.begin(), makeRecord("DICTIONARY", d.newHandle(), 0, dictionaryBody()));
    if (d.version >= 1012) notes.push_back("named-object dictionary was missing: created");
  }
  d.objects.front().owner = 0;
  auto ensureDict = [&](const std::string& key) -> size_t {
    Handle h = dictEntry(d.objects.front(), key);
    if (h)
      for (size_t i = 0; i < d.objects.size(); ++i)
        if (d.objects[i].handle == h) return i;
    Handle nh = d.newHandle();
    if (h) {
      // The root names a dictionary that is not there: point the name at a new one.
      for (size_t i = 0; i + 1 < d.objects.front().body.size(); ++i)
        if (d.objects.front().body[i].code == 3 && sameName(d.objects.front().body[i].s, key))
          d.objects.front().body[i + 1].i = int64_t(nh);
    } else {
      addDictEntry(d.objects.front(), key, nh);
    }
    d.objects.push_back(makeRecord("DICTIONARY", nh, d.objects.front().handle, dictionaryBody()));
    return d.objects.size() - 1;
  };
  ensureDict("ACAD_GROUP");
  size_t layoutDict = ensureDict("ACAD_LAYOUT");
  // Layouts: one per layout block record; a record whose layout is missing gets one.
  std::unordered_map<Handle, size_t> objIndex;
  for (size_t i = 0; i < d.objects.size(); ++i) objIndex[d.objects[i].handle] = i;
  int tab = 1;
  for (auto& r : brt.entries) {
    if (!isLayoutBlockName(r.text(2))) continue;
    Tag* lay = r.find(340);
    if (lay && lay->i && objIndex.count(Handle(lay->i)) && d.objects[objIndex[Handle(lay->i)]].type == "LAYOUT")
      continue;
    bool model = sameName(r.text(2), "*Model_Space");
    std::string name = model ? "Model" : "Layout" + std::to_string(tab++);
    while (!model && dictEntry(d.objects[layoutDict], name)) name = "Layout" + std::to_string(tab++);
    Handle lh = d.newHandle();
    addDictEntry(d.objects[layoutDict], name, lh);
    d.objects.push_back(makeRecord("LAYOUT", lh, d.objects[layoutDict].handle,
                                   layoutBody(name, model ? 0 : tab - 1, r.handle)));
    objIndex[lh] = d.objects.size() - 1;
    if (lay) lay->i = int64_t(lh);
    else r.body.push_back(Tag::handle(340, lh));
  }

  // 7. Pointers to records that are not there are cleared, so every reference resolves.
  clearMissingReferences(d, notes);
  d.nextHandle = std::max(d.nextHandle, d.maxHandle() + 1);
}

void clearMissingReferences(Drawing& d, Notes& notes) {
  const HandleIndex all(d);
  size_t cleared = 0;
  std::string first;
  d.forEachObject([&](Object& o) {
    for (auto& t : o.body)
      if (isPointerCode(t.code) && t.kind == ValueKind::Handle && t.i && !all.count(Handle(t.i))) {
        if (first.empty()) first = o.type + " " + hex(o.handle) + " group " + std::to_string(t.code) + " -> " + hex(Handle(t.i));
        t.i = 0;
        ++cleared;
      }
    for (auto& app : o.appData)
      for (auto& t : app.tags)
        if (isPointerCode(t.code) && t.kind == ValueKind::Handle && t.i && !all.count(Handle(t.i))) {
          t.i = 0;
          ++cleared;
        }
    auto r = std::remove_if(o.reactors.begin(), o.reactors.end(), [&](Handle h) { return !all.count(h); });
    cleared += size_t(o.reactors.end() - r);
    o.reactors.erase(r, o.reactors.end());
    if (o.xdict && !all.count(o.xdict)) {
      o.xdict = 0;
      ++cleared;
    }
    if (o.owner && !all.count(o.owner)) {
      o.owner = 0;
      ++cleared;
    }
  });
  if (cleared)
    notes.push_back(std::to_string(cleared) + " references to missing records cleared (first: " + first + ")");
  // An object without an owner is adopted by the named-object dictionary, so it stays reachable.
  size_t adopted = 0;
  for (size_t i = 1; i < d.objects.size(); ++i)
    if (d.objects[i].owner == 0) {
      d.objects[i].owner = d.objects.front().handle;
      ++adopted;
    }
  if (adopted)
    notes.push_back(std::to_string(adopted) + " objects without an owner given to the named-object dictionary");
}

void buildDefaultDrawing(Drawing& d) {
  d.version = 1027;
  d.header.clear();
#define KEL_HEADER(name, code, value)                                                   \
  {                                                                                     \
    Tags vals;                                                                          \
    std::string v = value;                                                              \
    if (code == 10) {                                                                   \
      double x = 0, y = 0, z = 0;                                                       \
      int n = std::sscanf(v.c_str(), "%lf %lf %lf", &x, &y, &z);                        \
      vals = {Tag::real(10, x), Tag::real(20, y)};                                      \
      if (n == 3) vals.push_back(Tag::real(30, z));                                     \
    } else if (kindOf(code) == ValueKind::String) {                                     \
      vals = {Tag::str(code, v)};                                                       \
    } else if (kindOf(code) == ValueKind::Double) {                                     \
      vals = {Tag::real(code, std::stod(v))};                                           \
    } else if (kindOf(code) == ValueKind::Handle) {                                     \
      vals = {Tag::handle(code, std::stoull(v, nullptr, 16))};                          \
    } else {                                                                            \
      vals = {Tag::integer(code, std::stoll(v))};                                       \
    }                                                                                   \
    d.header.push_back({#name, std::move(vals)});                                       \
  }
#include "engine/model/header_vars.def"
#undef KEL_HEADER
  Notes ignored;
  completeStructure(d, ignored);
}

// Records kept raw become proxies where their class and common part allow; the rest are left
// out with what they own, and the dictionary entries, reactors, extension dictionaries and
// pointers that name them.
namespace {

// (Compared as views: the length decides most comparisons before any character is read.)
bool isProxyType(std::string_view type) { return type == "ACAD_PROXY_ENTITY" || type == "ACAD_PROXY_OBJECT"; }
bool isDictionaryType(std::string_view type) { return type == "DICTIONARY" || type == "ACDBDICTIONARYWDFLT"; }

// Whether a dictionary entry pair (3 name, 350/360 record) starts at body[i] and its record is
// one `gone` names.
template <class Gone>
bool entryGone(const Tags& body, size_t i, Gone&& gone) {
  const Tag& v = body[i + 1];
  return body[i].code == 3 && (v.code == 350 || v.code == 360) && gone(v);
}

template <class Gone>
void eraseEntries(Tags& body, Gone&& gone) {
  for (size_t i = 0; i + 1 < body.size(); ++i) {
    if (entryGone(body, i, gone)) {
      body.erase(body.begin() + std::ptrdiff_t(i), body.begin() + std::ptrdiff_t(i) + 2);
      --i;
    }
  }
}

// A record the file still has (a proxy may only point at those).
bool presentIn(const RawExportPlan& plan, Handle h) {
  return std::binary_search(plan.handles.begin(), plan.handles.end(), h) && !plan.unconverted.count(h);
}

// Whether applyPlan would change anything in a record (its proxy form aside).
bool planTouches(const RawExportPlan& plan, const Object& o) {
  if (isProxyType(o.type)) return true;  // few: always worked on
  const bool dict = isDictionaryType(o.type);
  if (dict) {
    for (size_t i = 0; i + 1 < o.body.size(); ++i)
      if (entryGone(o.body, i, [&](const Tag& v) { return asInt(v) == 0 || plan.leftOut.count(Handle(asInt(v))); })) return true;
  }
  if (plan.leftOut.empty()) return false;
  for (Handle h : o.reactors)
    if (plan.leftOut.count(h)) return true;
  if (plan.leftOut.count(o.xdict)) return true;
  for (const Tag& t : o.body)
    if (t.kind == ValueKind::Handle && t.code != 350 && t.code != 360 && plan.leftOut.count(Handle(t.i))) return true;
  return false;
}

// The plan's changes to one record (already in its proxy form when it has one): a proxy's
// pointers to records not in the file become null, dictionary entries that name nothing or a
// record left out go, and so do reactors, the extension dictionary and pointers naming a record
// left out.
void applyPlan(const RawExportPlan& plan, Object& o) {
  if (isProxyType(o.type)) {
    bool own = false;
    for (auto& t : o.body) {
      if (t.code == 100) own = t.s == "AcDbProxyEntity" || t.s == "AcDbProxyObject";
      if (own && t.kind == ValueKind::Handle && t.code >= 330 && t.code <= 369 && !presentIn(plan, Handle(t.i)))
        t.i = 0;
    }
  }
  const bool dict = isDictionaryType(o.type);
  if (dict) eraseEntries(o.body, [](const Tag& v) { return asInt(v) == 0; });
  if (plan.leftOut.empty()) return;
  o.reactors.erase(std::remove_if(o.reactors.begin(), o.reactors.end(), [&](Handle h) { return plan.leftOut.count(h) > 0; }), o.reactors.end());
  if (plan.leftOut.count(o.xdict)) o.xdict = 0;
  // Pointers to them (a layer's material, a viewport's visual style) go too.
  std::erase_if(o.body, [&](const Tag& t) {
    return t.kind == ValueKind::Handle && t.code != 350 && t.code != 360 && plan.leftOut.count(Handle(t.i)) > 0;
  });
  if (dict) eraseEntries(o.body, [&](const Tag& v) { return plan.leftOut.count(Handle(asInt(v))) > 0; });
}

}  // namespace

RawExportPlan planRawExport(const Drawing& d) {
  RawExportPlan plan;
  dwg::Version from{};
  const bool known = dwg::versionOfDrawing(d.version, &from);
  uint32_t maint = 0;
  if (const auto* hv = d.headerVar("$ACADMAINTVER"); hv && !hv->values.empty()) maint = uint32_t(asInt(hv->values[0]));
  std::vector<dwg::DwgClass> classes;
  bool classesRead = false;
  bool proxies = false;
  d.forEachObject([&](const Object& o) {
    proxies = proxies || isProxyType(o.type);
    if (o.dwgRaw.empty() || o.dwgDecoded) return;
    if (!classesRead) {
      classes = dwg::classesOf(d.classes);
      classesRead = true;
    }
    // A proxy names its class by number: records of a class qualify, and the proxies an earlier
    // release stores with their class number inside.
    dwg::ProxyRecord p;
    const Tag* marker = o.find(100);
    const bool entity = marker && marker->s == "AcDbEntity";
    if (known && dwg::proxyOfRawRecord(o.dwgRaw, o.dwgType, from, maint, classes, p) && p.entity == entity) {
      RawExportPlan::Proxy form;
      form.type = entity ? "ACAD_PROXY_ENTITY" : "ACAD_PROXY_OBJECT";
      if (entity) form.body = o.body;
      dwg::proxyTags(p, form.body);
      plan.proxies.emplace(&o, std::move(form));
      return;
    }
    plan.unconverted.insert(o.handle);
  });
  if (proxies || !plan.proxies.empty()) plan.handles = HandleIndex(d).sorted();
  if (plan.unconverted.empty()) return plan;
  // What the records left out own goes with them (their extension dictionaries and the records
  // under those).
  plan.leftOut = plan.unconverted;
  for (size_t before = 0; before != plan.leftOut.size();) {
    before = plan.leftOut.size();
    d.forEachObject([&](const Object& o) {
      if (plan.leftOut.count(o.owner)) plan.leftOut.insert(o.handle);
    });
  }
  return plan;
}

const Object& exportForm(const RawExportPlan& plan, const Object& o, Object& scratch) {
  auto proxy = plan.proxies.empty() ? plan.proxies.end() : plan.proxies.find(&o);
  const bool isProxy = proxy != plan.proxies.end();
  if (!isProxy && !planTouches(plan, o)) return o;
  scratch.type = isProxy ? proxy->second.type : o.type;
  scratch.handle = o.handle;
  scratch.owner = o.owner;
  scratch.reactors = o.reactors;
  scratch.xdict = o.xdict;
  scratch.appData = o.appData;
  scratch.body = isProxy ? proxy->second.body : o.body;
  scratch.xdata = o.xdata;
  scratch.dwgType = isProxy ? 0 : o.dwgType;
  scratch.dwgRaw.clear();  // the export never writes record bytes
  applyPlan(plan, scratch);
  return scratch;
}

size_t dropRawRecords(Drawing& d) {
  RawExportPlan plan = planRawExport(d);
  d.forEachObject([&](Object& o) {
    if (auto it = plan.proxies.find(&o); it != plan.proxies.end()) {
      o.type = std::move(it->second.type);
      o.body = std::move(it->second.body);
      o.dwgRaw.clear();
      o.dwgType = 0;
    } else if (o.dwgDecoded) {
      // Decoded, its bytes kept only for a DWG save: the body is its exported form.
      o.dwgRaw.clear();
      o.dwgType = 0;
      o.dwgDecoded = false;
    }
    applyPlan(plan, o);
  });
  if (plan.leftOut.empty()) return 0;
  auto isLeft = [&](const Object& o) { return plan.leftOut.count(o.handle) > 0; };
  std::erase_if(d.entities, isLeft);
  for (auto& b : d.blocks) std::erase_if(b.entities, isLeft);
  std::erase_if(d.objects, isLeft);
  for (auto& t : d.tables) std::erase_if(t.entries, isLeft);
  return plan.leftOut.size();
}

}  // namespace kel::engine
