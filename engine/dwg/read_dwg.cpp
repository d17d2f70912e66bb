// DWG file -> drawing model: the containers hand out the sections, the header, classes and object
// decoders turn them into records, and the assembly below places every record where a DXF read
// would have put it and turns handles into names where DXF uses names.
#include "engine/dwg/read_dwg.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "engine/acdbhost.h"
#include "engine/dwg/classes.h"
#include "engine/dwg/container2000.h"
#include "engine/dwg/container2004.h"
#include "engine/dwg/container2007.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/families.h"
#include "engine/dwg/header.h"
#include "engine/dwg/objects.h"
#include "engine/dxf/dxf_text.h"
#include "engine/model/structure.h"
#include "platform/fileio.h"

namespace kel::dwg {

using engine::Block;
using engine::Drawing;
using engine::Handle;
using engine::Object;
using engine::SymbolTable;
using engine::Tag;
using engine::Tags;
using engine::ValueKind;

namespace {

// Files larger than this are refused rather than read into memory.
constexpr size_t kMaxFileSize = size_t(1) << 30;

const char* acadVer(Version v) {
  switch (v) {
    case Version::R13: return "AC1012";
    case Version::R14: return "AC1014";
    case Version::R2000: return "AC1015";
    case Version::R2004: return "AC1018";
    case Version::R2007: return "AC1021";
    case Version::R2010: return "AC1024";
    case Version::R2013: return "AC1027";
    case Version::R2018: return "AC1032";
  }
  return "AC1015";
}

void notifyCorrupt(Handle h, Acad::ErrorStatus es) {
  if (AcDbHostApplicationServices* host = acdbHostApplicationServices())
    host->notifyCorruptDrawingFoundOnOpen(h, uint32_t(es));
}

// Asks the host for a file the drawing needs, as the SDK does while it opens a drawing; the
// drawing is read whether or not it is found.
void askHost(const std::string& name, AcDbHostApplicationServices::FindFileHint hint) {
  if (name.empty()) return;
  AcDbHostApplicationServices* host = acdbHostApplicationServices();
  if (!host) return;
  std::u16string wide;
  for (unsigned char c : name) wide += char16_t(c);  // font and xref names are ASCII in practice
  char16_t found[260] = {};
  host->findFile(found, 260, wide.c_str(), nullptr, hint);
}

struct Sections {
  Version version = Version::R2000;
  uint16_t codePage = 30;
  uint8_t maintenance = 0;
  std::span<const uint8_t> header;   // payload after the size field(s)
  std::span<const uint8_t> classes;  // same
  std::vector<ObjectMapEntry> map;
  std::span<const uint8_t> objects;  // what map offsets point into
  std::vector<uint8_t> headerBuf, classesBuf, handlesBuf, objectsBuf;
};

Acad::ErrorStatus openSections(std::span<const uint8_t> file, Sections& s) {
  Version v{};
  if (!dwgVersionFromTag(file, &v)) {
    // Earlier releases (AC1009 and before) and anything that is not a drawing.
    if (file.size() >= 2 && file[0] == 'A' && file[1] == 'C') return Acad::eInvalidDwgVersion;
    return Acad::eInvalidDwgVersion;
  }
  s.version = v;
  if (v <= Version::R2000) {
    Container2000 c;
    Acad::ErrorStatus es = readContainer2000(file, c);
    if (es != Acad::eOk && !c.header.present) return es;
    if (c.status != Acad::eOk) return c.status;
    s.codePage = c.codePage;
    s.maintenance = c.maintenanceVersion;
    s.header = c.header.data;
    s.classes = c.classes.data;
    s.map = std::move(c.objects);
    s.objects = file;
    return Acad::eOk;
  }
  if (v == Version::R2007) {
    Container2007 c;
    Acad::ErrorStatus es = readContainer2007(file, c);
    // A damaged optional section (preview, summary ...) does not stop the read; a damaged
    // section the reader needs does, unless only its checksum is off.
    if (es != Acad::eOk && es != Acad::eDwgCRCDoesNotMatch) return es;
    s.codePage = c.codePage;
    s.maintenance = c.maintenanceVersion;
    s.headerBuf = c.takeSectionData(u"AcDb:Header");
    s.classesBuf = c.takeSectionData(u"AcDb:Classes");
    s.objectsBuf = c.takeSectionData(u"AcDb:AcDbObjects");
    if (s.headerBuf.empty() || s.classesBuf.empty() || s.objectsBuf.empty()) return Acad::eDwgNeedsRecovery;
    if (!framedPayload(s.headerBuf, false, &s.header) || !framedPayload(s.classesBuf, false, &s.classes))
      return Acad::eDwgNeedsRecovery;
    s.map = std::move(c.objects);
    s.objects = s.objectsBuf;
    return Acad::eOk;
  }
  Container2004 c;
  Acad::ErrorStatus es = c.open(file);
  if (es != Acad::eOk && es != Acad::eDwgCRCDoesNotMatch) return es;
  s.codePage = c.header().codepage;
  s.maintenance = c.header().maintenance;
  for (auto [name, buf] : {std::pair{kSectionHeader, &s.headerBuf}, std::pair{kSectionClasses, &s.classesBuf},
                           std::pair{kSectionHandles, &s.handlesBuf}, std::pair{kSectionObjects, &s.objectsBuf}}) {
    Acad::ErrorStatus r = c.read(name, *buf);
    if (r != Acad::eOk && r != Acad::eDwgCRCDoesNotMatch) return r == Acad::eKeyNotFound ? Acad::eDwgNeedsRecovery : r;
  }
  bool hi = v >= Version::R2013 || (v == Version::R2010 && s.maintenance > 3);
  if (!framedPayload(s.headerBuf, hi, &s.header) || !framedPayload(s.classesBuf, hi, &s.classes))
    return Acad::eDwgNeedsRecovery;
  Acad::ErrorStatus m = decodeObjectMap(s.handlesBuf, s.objectsBuf.size(), s.map);
  if (m != Acad::eOk && s.map.empty()) return m;
  s.objects = s.objectsBuf;
  return Acad::eOk;
}

// The record at `offset` of an R2010+ objects section: the size counts the bytes after the
// handle-stream size that follows it, so the record handed to the decoder runs from that size
// field to the end of the data. The CRC covers everything from the first size field on.
Acad::ErrorStatus objectRecord2010(std::span<const uint8_t> bytes, uint64_t offset, std::span<const uint8_t>* record) {
  *record = {};
  if (offset >= bytes.size()) return Acad::eDwgNeedsRecovery;
  std::span<const uint8_t> rest = bytes.subspan(size_t(offset));
  BitReader r(rest);
  uint32_t size = r.MS();
  size_t afterSize = r.positionBits() / 8;
  r.UMC();
  if (r.error()) return Acad::eDwgNeedsRecovery;
  size_t afterMc = r.positionBits() / 8;
  if (size > rest.size() - afterMc || rest.size() - afterMc - size < 2) return Acad::eDwgNeedsRecovery;
  *record = rest.subspan(afterSize, afterMc - afterSize + size);
  size_t end = afterMc + size;
  uint16_t stored = uint16_t(rest[end] | (rest[end + 1] << 8));
  if (crc16(kCrc16Seed, rest.first(end)) != stored) return Acad::eDwgCRCDoesNotMatch;
  return Acad::eOk;
}

// Record names (table entries, block records, multiline styles) by handle.
using NameMap = std::unordered_map<Handle, std::string>;

void nameTags(Tags& tags, const NameMap& names) {
  for (auto& t : tags) {
    if (t.kind != ValueKind::Handle) continue;
    ValueKind want = engine::kindOf(t.code);
    if (want != ValueKind::String) continue;
    auto it = names.find(Handle(t.i));
    std::string n = it != names.end() ? it->second : std::string();
    if (n.empty() && t.code == 8) n = "0";
    t = Tag::str(t.code, n);
  }
}

// One record of the objects section between decoding and assembly: the model record it becomes
// (without its type name, which is set when it is placed) and what the assembly looks at. Kept
// small, as there is one per record of the drawing: names are numbers into a short list of
// distinct names, and links and values for other records are kept aside for the few that have
// them.
struct Record {
  Object obj;
  uint32_t extra = kNoExtra;  // index into the links and side values, kNoExtra for none
  uint32_t slot = 0;          // the first record with this handle: a handle is placed once
  uint16_t name = 0;          // DXF name
  uint16_t table = 0;         // table of a control or entry (0: none)
  RecordKind kind = RecordKind::Object;
  uint8_t entmode = 0;        // entities: 0 owner in the stream, 1 paper space, 2 model space
  bool viewportEntity = false;  // the R13..R2000 viewport-entity table, which has no DXF form
  static constexpr uint32_t kNoExtra = UINT32_MAX;
};

struct Extra {
  ObjectLinks links;
  Tags side;  // values DXF carries on another record (a block record's BLOCK fields)
};

bool hasLinks(const ObjectLinks& l) {
  return !l.owned.empty() || l.first || l.last || l.seqend || l.blockEntity || l.endblk || l.modelSpace ||
         l.paperSpace || l.prev || l.next;
}

// The distinct names records carry, numbered; 0 is the empty name.
class Names {
 public:
  Names() { m_names.emplace_back(); }
  uint16_t id(const std::string& n) {
    if (n.empty()) return 0;
    auto it = m_ids.find(n);
    if (it != m_ids.end()) return it->second;
    if (m_names.size() >= kNone) return 0;  // far more distinct names than any drawing has
    m_names.push_back(n);
    uint16_t id = uint16_t(m_names.size() - 1);
    m_ids.emplace(n, id);
    return id;
  }
  const std::string& operator[](uint16_t id) const { return m_names[id]; }
  // The number of a name, kNone (which no record has) for a name no record has.
  uint16_t find(const char* n) const {
    auto it = m_ids.find(n);
    return it == m_ids.end() ? kNone : it->second;
  }
  static constexpr uint16_t kNone = UINT16_MAX;

 private:
  std::vector<std::string> m_names;
  std::unordered_map<std::string, uint16_t> m_ids;
};

}  // namespace

Acad::ErrorStatus readDwgBytes(Drawing& d, std::span<const uint8_t> file, DwgReadInfo* info) {
  DwgReadInfo localInfo;
  DwgReadInfo& inf = info ? *info : localInfo;
  inf = DwgReadInfo{};
  Sections s;
  Acad::ErrorStatus es = openSections(file, s);
  if (es != Acad::eOk) return es;
  const Version v = s.version;
  inf.version = v;

  DwgHeader header;
  es = decodeHeader(s.header, v, s.codePage, header);
  if (es != Acad::eOk) return es;
  std::vector<DwgClass> classes;
  es = decodeClasses(s.classes, v, s.codePage, classes);
  if (es != Acad::eOk) return es;

  // Objects. Each record is decoded into the same scratch record and its parts moved on.
  DecodeContext ctx{v, s.codePage, &classes};
  Names names;
  std::vector<Record> objs;
  std::vector<Extra> extras;
  objs.reserve(s.map.size());
  inf.objects = s.map.size();
  DecodedObject o;
  for (const ObjectMapEntry& e : s.map) {
    std::span<const uint8_t> rec;
    Acad::ErrorStatus rs = v >= Version::R2010 ? objectRecord2010(s.objects, e.offset, &rec)
                                               : readObjectRecord(s.objects, e.offset, &rec);
    if (rs == Acad::eDwgCRCDoesNotMatch) {
      ++inf.crcErrors;
      notifyCorrupt(e.handle, rs);
    } else if (rs != Acad::eOk) {
      ++inf.unreadable;
      notifyCorrupt(e.handle, rs);
      continue;
    }
    Acad::ErrorStatus ds = decodeObject(rec, ctx, o);
    if (ds != Acad::eOk && o.typeName.empty()) {
      ++inf.unreadable;
      notifyCorrupt(e.handle, ds);
      continue;
    }
    if (o.handle != e.handle) {
      // The map and the record disagree: the map's handle is the one other records use.
      notifyCorrupt(e.handle, Acad::eDwgObjectImproperlyRead);
      o.handle = e.handle;
    }
    if (o.decoded) ++inf.decoded;
    else {
      ++inf.raw;
      ++inf.rawTypes[o.typeName];
    }
    // Only a caller that asked for the read's details gets the copies of the raw records.
    if (info && !o.raw.empty()) inf.rawRecords[o.handle] = {o.type, o.raw};
    Record& r = objs.emplace_back();
    r.obj.handle = o.handle;
    r.obj.owner = o.owner;
    r.obj.reactors = std::move(o.reactors);
    r.obj.xdict = o.xdict;
    r.obj.body = std::move(o.body);
    r.obj.xdata = std::move(o.xdata);
    if (!o.decoded && !o.raw.empty()) {
      r.obj.dwgType = o.type;
      r.obj.dwgRaw = std::move(o.raw);
    } else if (o.decoded) {
      // Types we read but do not write keep their bytes for a DWG save. So do tables of R2010 and
      // later: their record is already in the form we write, and the copy keeps the cell
      // formatting our table writer does not carry.
      const FamilyType* ft = o.type >= 500 ? familyByTypeName(o.typeName) : nullptr;
      if (ft && (!ft->write || (v >= Version::R2010 && o.typeName == "ACAD_TABLE"))) {
        r.obj.dwgType = o.type;
        r.obj.dwgDecoded = true;
        r.obj.dwgRaw.assign(rec.begin(), rec.end());
      }
    }
    r.name = names.id(o.dxfName);
    r.table = names.id(o.table);
    r.kind = o.kind;
    r.entmode = o.entmode;
    r.viewportEntity = o.typeName == "VX_CONTROL" || o.typeName == "VX_TABLE_RECORD";
    if (!o.side.empty() || hasLinks(o.links)) {
      r.extra = uint32_t(extras.size());
      extras.push_back({std::move(o.links), std::move(o.side)});
    }
  }
  // The sections' bytes are not needed any more.
  s.map = {};
  s.header = s.classes = s.objects = {};
  for (auto* buf : {&s.headerBuf, &s.classesBuf, &s.handlesBuf, &s.objectsBuf}) *buf = {};

  std::unordered_map<Handle, size_t> index;
  index.reserve(objs.size());
  for (size_t i = 0; i < objs.size(); ++i) objs[i].slot = uint32_t(index.emplace(objs[i].obj.handle, i).first->second);
  auto get = [&](Handle h) -> Record* {
    auto it = index.find(h);
    return it == index.end() ? nullptr : &objs[it->second];
  };
  const Extra kNone;
  auto extra = [&](const Record& r) -> const Extra& { return r.extra == Record::kNoExtra ? kNone : extras[r.extra]; };
  auto links = [&](const Record& r) -> const ObjectLinks& { return extra(r).links; };
  // Names are compared by number.
  const uint16_t kBlock = names.find("BLOCK"), kEndblk = names.find("ENDBLK"), kVertex = names.find("VERTEX"),
                 kAttrib = names.find("ATTRIB"), kSeqend = names.find("SEQEND"), kPolyline = names.find("POLYLINE"),
                 kInsert = names.find("INSERT"), kMlinestyle = names.find("MLINESTYLE"),
                 kBlockRecord = names.find("BLOCK_RECORD");
  // Places a record: the model record takes over its groups and gets its type name. Each record
  // is placed once (the `placed` set sees to it); afterwards only its kind, names, handle, owner
  // and links are looked at.
  auto toObject = [&](Record& r) {
    Object out = std::move(r.obj);
    out.type = names[r.name];
    return out;
  };

  // A block record's DXF name is its BLOCK entity's: the record itself may store a shorter one
  // (each extra paper-space layout's record says "*Paper_Space", its BLOCK "*Paper_Space0").
  for (auto& r : objs) {
    if (r.kind != RecordKind::TableEntry || r.table != kBlockRecord) continue;
    const Record* be = get(links(r).blockEntity);
    if (!be || be->name != kBlock) continue;
    const Tag* beName = nullptr;
    for (const auto& t : be->obj.body)
      if (t.code == 2 && t.kind == ValueKind::String) beName = &t;
    if (!beName || beName->s.empty()) continue;
    for (auto& t : r.obj.body)
      if (t.code == 2 && t.kind == ValueKind::String) {
        t.s = beName->s;
        break;
      }
  }

  // Header variables.
  d = Drawing{};
  d.version = engine::versionNumber(acadVer(v));
  d.header.reserve(header.vars.size() + 3);
  d.header.push_back({"$ACADVER", {Tag::str(1, acadVer(v))}});
  d.header.push_back({"$ACADMAINTVER", {Tag::integer(70, s.maintenance)}});
  d.header.push_back({"$DWGCODEPAGE", {Tag::str(3, engine::dxf::dwgCodePageName(s.codePage))}});
  for (const auto& hv : header.vars) {
    if (hv.name.empty() || hv.name[0] == '_') continue;
    d.header.push_back({"$" + hv.name, hv.values});
    // A header colour is its index alone in DXF: the true colour and name the file stores with
    // it have no place there.
    auto& vals = d.header.back().values;
    std::erase_if(vals, [](const Tag& t) { return t.code == 420 || t.code == 430 || t.code == 440; });
  }
  Handle seed = header.handle("HANDSEED");
  d.nextHandle = std::max<Handle>(seed, 1);
  if (header.find("PROXYGRAPHICS")) d.settings.saveProxyGraphics = int16_t(header.integer("PROXYGRAPHICS"));
  if (header.find("INDEXCTL")) d.settings.indexCtl = uint8_t(header.integer("INDEXCTL"));
  if (header.find("SORTENTS")) d.settings.drawOrderCtl = uint8_t(header.integer("SORTENTS"));
  // The thumbnail-update setting is not stored in the DWG header of these releases: a drawing
  // read from DWG keeps the engine's default for it.

  for (const auto& c : classes) d.classes.push_back(classTags(c, v));

  // Names for the resolution pass.
  NameMap recordNames;
  for (const auto& r : objs) {
    if (r.kind == RecordKind::TableEntry || r.name == kMlinestyle) {
      for (const auto& t : r.obj.body)
        if (t.code == 2 && t.kind == ValueKind::String) {
          recordNames[r.obj.handle] = t.s;
          break;
        }
    }
  }

  // Tables, in the standard order, entries as the control lists them.
  std::vector<uint8_t> placedAt(objs.size(), 0);
  auto place = [&](const Record& r) {
    uint8_t& p = placedAt[r.slot];
    if (p) return false;
    p = 1;
    return true;
  };
  auto placed = [&](const Record& r) { return placedAt[r.slot] != 0; };
  const std::pair<const char*, const char*> controls[] = {
      {"VPORT", "_VPORT_CONTROL"}, {"LTYPE", "_LTYPE_CONTROL"}, {"LAYER", "_LAYER_CONTROL"},
      {"STYLE", "_STYLE_CONTROL"}, {"VIEW", "_VIEW_CONTROL"},   {"UCS", "_UCS_CONTROL"},
      {"APPID", "_APPID_CONTROL"}, {"DIMSTYLE", "_DIMSTYLE_CONTROL"}, {"BLOCK_RECORD", "_BLOCK_CONTROL"}};
  d.tables.reserve(std::size(controls));
  for (auto [table, var] : controls) {
    const uint16_t tableId = names.find(table);
    Record* c = get(header.handle(var));
    if (!c || c->kind != RecordKind::TableControl) {
      for (auto& r : objs)
        if (r.kind == RecordKind::TableControl && r.table == tableId) c = &r;
    }
    SymbolTable t;
    t.name = table;
    if (!c) {
      d.tables.push_back(std::move(t));
      continue;
    }
    t.control = toObject(*c);
    t.control.type = "TABLE";
    t.control.owner = 0;
    place(*c);
    const ObjectLinks& cl = links(*c);
    std::vector<Handle> order;
    if (std::string_view(table) == "BLOCK_RECORD") {
      order.push_back(cl.modelSpace);
      order.push_back(cl.paperSpace);
    }
    order.insert(order.end(), cl.owned.begin(), cl.owned.end());
    for (const auto& r : objs)
      if (r.kind == RecordKind::TableEntry && r.table == tableId) order.push_back(r.obj.handle);
    for (Handle h : order) {
      Record* e = get(h);
      if (!e || e->kind != RecordKind::TableEntry || e->table != tableId || !place(*e)) continue;
      t.entries.push_back(toObject(*e));
      t.entries.back().owner = c->obj.handle;
    }
    // DXF counts the entries in 70 (the block table leaves out its two layout records).
    for (auto& tag : t.control.body)
      if (tag.code == 70) tag.i = int64_t(t.entries.size());
    d.tables.push_back(std::move(t));
  }

  // Entities: owners, sub-entities after their parent, blocks.
  Handle msRec = header.handle("_BLOCK_RECORD_MSPACE");
  Handle psRec = header.handle("_BLOCK_RECORD_PSPACE");
  auto ownerOf = [&](const Record& r) -> Handle {
    if (r.entmode == 2) return msRec;
    if (r.entmode == 1) return psRec;
    return r.obj.owner;
  };
  // Sub-entities (vertices, attributes, SEQEND) in order, for a POLYLINE or INSERT.
  auto subEntities = [&](const Record& p, std::vector<Handle>& out) {
    out.clear();
    const ObjectLinks& pl = links(p);
    if (!pl.owned.empty()) {
      out = pl.owned;
    } else if (pl.first) {
      Handle h = pl.first;
      for (size_t guard = 0; h && guard < objs.size(); ++guard) {
        out.push_back(h);
        if (h == pl.last) break;
        Record* n = get(h);
        if (!n) break;
        h = links(*n).next;
      }
    }
    if (pl.seqend) out.push_back(pl.seqend);
  };
  auto isSub = [&](const Record& r) { return r.name == kVertex || r.name == kAttrib || r.name == kSeqend; };
  // Top-level entities per owning block record, in the record's order where it gives one.
  std::unordered_map<Handle, std::vector<Handle>> byOwner;
  for (const auto& r : objs)
    if (r.kind == RecordKind::Entity && !isSub(r) && r.name != kBlock && r.name != kEndblk)
      byOwner[ownerOf(r)].push_back(r.obj.handle);
  std::vector<Handle> order, subs;
  // Appends the entities of a block record to `out`.
  auto entitiesOf = [&](const Record& rec, std::vector<Object>& out) {
    order.clear();
    const ObjectLinks& rl = links(rec);
    if (!rl.owned.empty()) {
      order = rl.owned;
    } else if (rl.first) {
      Handle h = rl.first;
      for (size_t guard = 0; h && guard < objs.size(); ++guard) {
        order.push_back(h);
        if (h == rl.last) break;
        Record* n = get(h);
        if (!n) break;
        h = links(*n).next;
      }
    }
    auto it = byOwner.find(rec.obj.handle);
    if (it != byOwner.end()) order.insert(order.end(), it->second.begin(), it->second.end());
    // Room for the entities and their sub-entities at once, not grown record by record.
    size_t room = out.size();
    for (Handle h : order) {
      const Record* e = get(h);
      if (!e || e->kind != RecordKind::Entity || isSub(*e) || placed(*e)) continue;
      ++room;
      if (e->name == kPolyline || e->name == kInsert) {
        subEntities(*e, subs);
        room += subs.size();
      }
    }
    out.reserve(room);
    for (Handle h : order) {
      Record* e = get(h);
      if (!e || e->kind != RecordKind::Entity || isSub(*e) || !place(*e)) continue;
      out.push_back(toObject(*e));
      out.back().owner = rec.obj.handle;
      if (rec.obj.handle == psRec && !out.back().find(67)) {
        auto pos = std::find_if(out.back().body.begin(), out.back().body.end(),
                                [](const Tag& t) { return t.code == 100; });
        if (pos != out.back().body.end()) out.back().body.insert(pos + 1, Tag::integer(67, 1));
      }
      if (e->name == kPolyline || e->name == kInsert) {
        subEntities(*e, subs);
        for (Handle sh : subs) {
          Record* sub = get(sh);
          if (!sub || !isSub(*sub) || !place(*sub)) continue;
          out.push_back(toObject(*sub));
          out.back().owner = e->obj.handle;
        }
      }
    }
  };

  // Model and paper space entities go straight to the drawing's list: room for all of them (and
  // at most every sub-entity) at once, rather than growing it through both spaces.
  size_t spaceRoom = 0;
  for (const auto& r : objs)
    if (r.kind == RecordKind::Entity && (isSub(r) || ownerOf(r) == msRec || ownerOf(r) == psRec)) ++spaceRoom;
  d.entities.reserve(spaceRoom);
  if (engine::SymbolTable* brt = d.table("BLOCK_RECORD")) {
    d.blocks.reserve(brt->entries.size());
    for (auto& rec : brt->entries) {
      Record* r = get(rec.handle);
      if (!r) continue;
      const Extra& rx = extra(*r);
      Block b;
      Record* be = get(rx.links.blockEntity);
      Record* ee = get(rx.links.endblk);
      if (be) {
        b.begin = toObject(*be);
        place(*be);
      } else {
        b.begin.type = "BLOCK";
        b.begin.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockBegin"),
                        Tag::str(2, rec.text(2))};
      }
      b.begin.owner = rec.handle;
      std::string name = rec.text(2);
      if (!b.begin.find(2)) b.begin.body.push_back(Tag::str(2, name));
      for (const auto& t : rx.side)
        if (t.code == 70 || t.code == 10 || t.code == 20 || t.code == 30) b.begin.body.push_back(t);
      b.begin.body.push_back(Tag::str(3, name));
      for (const auto& t : rx.side)
        if ((t.code == 1) || (t.code == 4 && !t.s.empty())) b.begin.body.push_back(t);
      if (ee) {
        b.end = toObject(*ee);
        place(*ee);
      } else {
        b.end.type = "ENDBLK";
        b.end.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockEnd")};
      }
      b.end.owner = rec.handle;
      entitiesOf(*r, rec.handle == msRec || rec.handle == psRec ? d.entities : b.entities);
      // Fonts and referenced drawings are asked for as the drawing opens.
      int64_t flags = 0;
      for (const auto& t : rx.side)
        if (t.code == 70) flags = t.i;
      if (flags & 4) {
        for (const auto& t : rx.side)
          if (t.code == 1) askHost(t.s, AcDbHostApplicationServices::kXRefDrawing);
      }
      d.blocks.push_back(std::move(b));
    }
  }
  if (engine::SymbolTable* st = d.table("STYLE")) {
    for (const auto& e : st->entries) {
      bool shape = e.integer(70) & 1;
      askHost(e.text(3), shape ? AcDbHostApplicationServices::kCompiledShapeFile
                               : AcDbHostApplicationServices::kFontFile);
      askHost(e.text(4), AcDbHostApplicationServices::kCompiledShapeFile);
    }
  }

  // Objects: the named-object dictionary first, then the rest in handle order. The R13..R2000
  // viewport-entity table has no DXF form and stays out of the model.
  size_t objectCount = 0;
  for (const auto& r : objs)
    if (!placed(r) && r.kind == RecordKind::Object && !r.viewportEntity) ++objectCount;
  d.objects.reserve(objectCount);
  Handle nod = header.handle("_DICTIONARY_NAMED_OBJECT");
  if (Record* root = get(nod)) {
    d.objects.push_back(toObject(*root));
    d.objects.back().owner = 0;
    place(*root);
  }
  for (auto& r : objs) {
    if (placed(r)) continue;
    if (r.kind != RecordKind::Object) continue;
    if (r.viewportEntity) continue;
    d.objects.push_back(toObject(r));
    place(r);
  }
  objs = {};
  extras = {};
  index = {};

  // Names where DXF uses names.
  d.forEachObject([&](Object& o) {
    nameTags(o.body, recordNames);
    if (!o.xdata.empty()) nameTags(o.xdata, recordNames);
  });
  for (auto& hv : d.header) nameTags(hv.values, recordNames);
  // Files name records they do not hold (an extension dictionary's XRECORDs owned by a dictionary
  // that is gone, reactors of deleted records): those references are cleared here, as a DXF read
  // clears them, so every reference of the drawing resolves.
  engine::Notes repairs;
  engine::clearMissingReferences(d, repairs);
  d.nextHandle = std::max(d.nextHandle, d.maxHandle() + 1);
  return Acad::eOk;
}

Acad::ErrorStatus readDwgInto(Drawing& d, const char16_t* path, int shareMode, DwgReadInfo* info) {
  if (!path || !*path) return Acad::eInvalidInput;
  int fd = -1;
  int err = plat::_wsopen_s(&fd, path, plat::_O_RDONLY | plat::_O_BINARY, shareMode, 0);
  if (err == EACCES && shareMode != plat::_SH_DENYNO) {
    // Someone holds the file open for writing: read it anyway, without the lock.
    err = plat::_wsopen_s(&fd, path, plat::_O_RDONLY | plat::_O_BINARY, plat::_SH_DENYNO, 0);
  }
  if (err == ENOENT) return Acad::eFileNotFound;
  if (err != 0 || fd < 0) return Acad::eCantOpenFile;
  // Read straight into a buffer of the file's size (a file that grows meanwhile is read on in
  // steps), so the bytes are neither staged nor moved as the buffer grows.
  std::vector<uint8_t> bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0 && uint64_t(st.st_size) <= kMaxFileSize)
    bytes.resize(size_t(st.st_size));
  size_t have = 0;
  bool tooBig = false;
  for (;;) {
    ssize_t n;
    if (have < bytes.size()) {
      n = ::read(fd, bytes.data() + have, bytes.size() - have);
    } else {
      // Past the size the file had: whatever more there is comes in steps.
      uint8_t chunk[65536];
      n = ::read(fd, chunk, sizeof chunk);
      if (n > 0) {
        if (have + size_t(n) > kMaxFileSize) {
          tooBig = true;
          break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
      }
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) err = errno;
      break;
    }
    have += size_t(n);
  }
  bytes.resize(have);
  plat::_close(fd);
  if (err != 0) return Acad::eCantOpenFile;
  if (tooBig) return Acad::eOutOfMemory;
  return readDwgBytes(d, bytes, info);
}

}  // namespace kel::dwg
