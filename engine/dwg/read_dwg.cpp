// DWG file -> drawing model: the containers hand out the sections, the header, classes and object
// decoders turn them into records, and the assembly below places every record where a DXF read
// would have put it and turns handles into names where DXF uses names.
#include "engine/dwg/read_dwg.h"

#include <cerrno>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/acdbhost.h"
#include "engine/dwg/classes.h"
#include "engine/dwg/container2000.h"
#include "engine/dwg/container2004.h"
#include "engine/dwg/container2007.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/header.h"
#include "engine/dwg/objects.h"
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

// The DXF names of the code pages files number in their header.
std::string codePageName(uint16_t cp) {
  switch (cp) {
    case 28: return "ANSI_1250";
    case 29: return "ANSI_1251";
    case 30: return "ANSI_1252";
    case 31: return "ANSI_1253";
    case 32: return "ANSI_1254";
    case 33: return "ANSI_1255";
    case 34: return "ANSI_1256";
    case 35: return "ANSI_1257";
    case 36: return "ANSI_874";
    case 37: return "ANSI_932";
    case 38: return "ANSI_936";
    case 39: return "ANSI_949";
    case 40: return "ANSI_950";
    case 41: return "ANSI_1361";
    case 43: return "ANSI_1258";
    default: return "ANSI_1252";
  }
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

// Takes over the record's groups: each record is placed once (the assembly's `placed` set sees
// to it), and only its type, kind and links are looked at afterwards.
Object toObject(DecodedObject& o) {
  Object r;
  r.type = o.dxfName;
  r.handle = o.handle;
  r.owner = o.owner;
  r.reactors = std::move(o.reactors);
  r.xdict = o.xdict;
  r.body = std::move(o.body);
  r.xdata = std::move(o.xdata);
  if (!o.decoded && !o.raw.empty()) {
    r.dwgType = o.type;
    r.dwgRaw = std::move(o.raw);
  }
  return r;
}

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

  // Objects.
  DecodeContext ctx{v, s.codePage, &classes};
  std::vector<DecodedObject> objs;
  objs.reserve(s.map.size());
  inf.objects = s.map.size();
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
    DecodedObject o;
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
    if (!o.raw.empty()) inf.rawRecords[o.handle] = {o.type, o.raw};
    objs.push_back(std::move(o));
  }
  std::unordered_map<Handle, size_t> index;
  index.reserve(objs.size());
  for (size_t i = 0; i < objs.size(); ++i) index.emplace(objs[i].handle, i);
  auto get = [&](Handle h) -> DecodedObject* {
    auto it = index.find(h);
    return it == index.end() ? nullptr : &objs[it->second];
  };

  // A block record's DXF name is its BLOCK entity's: the record itself may store a shorter one
  // (each extra paper-space layout's record says "*Paper_Space", its BLOCK "*Paper_Space0").
  for (auto& o : objs) {
    if (o.kind != RecordKind::TableEntry || o.table != "BLOCK_RECORD") continue;
    const DecodedObject* be = get(o.links.blockEntity);
    if (!be || be->dxfName != "BLOCK") continue;
    const Tag* beName = nullptr;
    for (const auto& t : be->body)
      if (t.code == 2 && t.kind == ValueKind::String) beName = &t;
    if (!beName || beName->s.empty()) continue;
    for (auto& t : o.body)
      if (t.code == 2 && t.kind == ValueKind::String) {
        t.s = beName->s;
        break;
      }
  }

  // Header variables.
  d = Drawing{};
  d.version = engine::versionNumber(acadVer(v));
  d.header.push_back({"$ACADVER", {Tag::str(1, acadVer(v))}});
  d.header.push_back({"$ACADMAINTVER", {Tag::integer(70, s.maintenance)}});
  d.header.push_back({"$DWGCODEPAGE", {Tag::str(3, codePageName(s.codePage))}});
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
  NameMap names;
  for (const auto& o : objs) {
    if (o.kind == RecordKind::TableEntry || o.dxfName == "MLINESTYLE") {
      for (const auto& t : o.body)
        if (t.code == 2 && t.kind == ValueKind::String) {
          names[o.handle] = t.s;
          break;
        }
    }
  }

  // Tables, in the standard order, entries as the control lists them.
  std::unordered_set<Handle> placed;
  placed.reserve(objs.size());
  const std::pair<const char*, const char*> controls[] = {
      {"VPORT", "_VPORT_CONTROL"}, {"LTYPE", "_LTYPE_CONTROL"}, {"LAYER", "_LAYER_CONTROL"},
      {"STYLE", "_STYLE_CONTROL"}, {"VIEW", "_VIEW_CONTROL"},   {"UCS", "_UCS_CONTROL"},
      {"APPID", "_APPID_CONTROL"}, {"DIMSTYLE", "_DIMSTYLE_CONTROL"}, {"BLOCK_RECORD", "_BLOCK_CONTROL"}};
  for (auto [table, var] : controls) {
    DecodedObject* c = get(header.handle(var));
    if (!c || c->kind != RecordKind::TableControl) {
      for (auto& o : objs)
        if (o.kind == RecordKind::TableControl && o.table == table) c = &o;
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
    placed.insert(c->handle);
    std::vector<Handle> order;
    if (std::string(table) == "BLOCK_RECORD") {
      order.push_back(c->links.modelSpace);
      order.push_back(c->links.paperSpace);
    }
    order.insert(order.end(), c->links.owned.begin(), c->links.owned.end());
    for (const auto& o : objs)
      if (o.kind == RecordKind::TableEntry && o.table == table) order.push_back(o.handle);
    for (Handle h : order) {
      DecodedObject* e = get(h);
      if (!e || e->kind != RecordKind::TableEntry || e->table != table || !placed.insert(h).second) continue;
      t.entries.push_back(toObject(*e));
      t.entries.back().owner = c->handle;
    }
    // DXF counts the entries in 70 (the block table leaves out its two layout records).
    for (auto& tag : t.control.body)
      if (tag.code == 70) tag.i = int64_t(t.entries.size());
    d.tables.push_back(std::move(t));
  }

  // Entities: owners, sub-entities after their parent, blocks.
  Handle msRec = header.handle("_BLOCK_RECORD_MSPACE");
  Handle psRec = header.handle("_BLOCK_RECORD_PSPACE");
  auto ownerOf = [&](const DecodedObject& o) -> Handle {
    if (o.entmode == 2) return msRec;
    if (o.entmode == 1) return psRec;
    return o.owner;
  };
  // Sub-entities (vertices, attributes, SEQEND) in order, for a POLYLINE or INSERT.
  auto subEntities = [&](const DecodedObject& p) {
    std::vector<Handle> out;
    if (!p.links.owned.empty()) {
      out = p.links.owned;
    } else if (p.links.first) {
      Handle h = p.links.first;
      for (size_t guard = 0; h && guard < objs.size(); ++guard) {
        out.push_back(h);
        if (h == p.links.last) break;
        DecodedObject* n = get(h);
        if (!n) break;
        h = n->links.next;
      }
    }
    if (p.links.seqend) out.push_back(p.links.seqend);
    return out;
  };
  auto isSub = [](const DecodedObject& o) {
    return o.dxfName == "VERTEX" || o.dxfName == "ATTRIB" || o.dxfName == "SEQEND";
  };
  // Top-level entities per owning block record, in the record's order where it gives one.
  std::unordered_map<Handle, std::vector<Handle>> byOwner;
  for (const auto& o : objs)
    if (o.kind == RecordKind::Entity && !isSub(o) && o.dxfName != "BLOCK" && o.dxfName != "ENDBLK")
      byOwner[ownerOf(o)].push_back(o.handle);
  auto entitiesOf = [&](const DecodedObject& rec) {
    std::vector<Handle> order;
    if (!rec.links.owned.empty()) {
      order = rec.links.owned;
    } else if (rec.links.first) {
      Handle h = rec.links.first;
      for (size_t guard = 0; h && guard < objs.size(); ++guard) {
        order.push_back(h);
        if (h == rec.links.last) break;
        DecodedObject* n = get(h);
        if (!n) break;
        h = n->links.next;
      }
    }
    auto it = byOwner.find(rec.handle);
    if (it != byOwner.end()) order.insert(order.end(), it->second.begin(), it->second.end());
    std::vector<Object> out;
    for (Handle h : order) {
      DecodedObject* e = get(h);
      if (!e || e->kind != RecordKind::Entity || isSub(*e) || !placed.insert(h).second) continue;
      out.push_back(toObject(*e));
      out.back().owner = rec.handle;
      if (rec.handle == psRec && !out.back().find(67)) {
        auto pos = std::find_if(out.back().body.begin(), out.back().body.end(),
                                [](const Tag& t) { return t.code == 100; });
        if (pos != out.back().body.end()) out.back().body.insert(pos + 1, Tag::integer(67, 1));
      }
      if (e->dxfName == "POLYLINE" || e->dxfName == "INSERT") {
        for (Handle sh : subEntities(*e)) {
          DecodedObject* sub = get(sh);
          if (!sub || !isSub(*sub) || !placed.insert(sh).second) continue;
          out.push_back(toObject(*sub));
          out.back().owner = e->handle;
        }
      }
    }
    return out;
  };

  if (engine::SymbolTable* brt = d.table("BLOCK_RECORD")) {
    for (auto& rec : brt->entries) {
      DecodedObject* r = get(rec.handle);
      if (!r) continue;
      Block b;
      DecodedObject* be = get(r->links.blockEntity);
      DecodedObject* ee = get(r->links.endblk);
      if (be) {
        b.begin = toObject(*be);
        placed.insert(be->handle);
      } else {
        b.begin.type = "BLOCK";
        b.begin.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockBegin"),
                        Tag::str(2, rec.text(2))};
      }
      b.begin.owner = rec.handle;
      std::string name = rec.text(2);
      if (!b.begin.find(2)) b.begin.body.push_back(Tag::str(2, name));
      for (const auto& t : r->side)
        if (t.code == 70 || t.code == 10 || t.code == 20 || t.code == 30) b.begin.body.push_back(t);
      b.begin.body.push_back(Tag::str(3, name));
      for (const auto& t : r->side)
        if ((t.code == 1) || (t.code == 4 && !t.s.empty())) b.begin.body.push_back(t);
      if (ee) {
        b.end = toObject(*ee);
        placed.insert(ee->handle);
      } else {
        b.end.type = "ENDBLK";
        b.end.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockEnd")};
      }
      b.end.owner = rec.handle;
      std::vector<Object> ents = entitiesOf(*r);
      if (rec.handle == msRec || rec.handle == psRec) {
        for (auto& e : ents) d.entities.push_back(std::move(e));
      } else {
        b.entities = std::move(ents);
      }
      // Fonts and referenced drawings are asked for as the drawing opens.
      int64_t flags = 0;
      for (const auto& t : r->side)
        if (t.code == 70) flags = t.i;
      if (flags & 4) {
        for (const auto& t : r->side)
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
  Handle nod = header.handle("_DICTIONARY_NAMED_OBJECT");
  if (DecodedObject* root = get(nod)) {
    d.objects.push_back(toObject(*root));
    d.objects.back().owner = 0;
    placed.insert(nod);
  }
  for (auto& o : objs) {
    if (placed.count(o.handle)) continue;
    if (o.kind != RecordKind::Object) continue;
    if (o.typeName == "VX_CONTROL" || o.typeName == "VX_TABLE_RECORD") continue;
    d.objects.push_back(toObject(o));
    placed.insert(o.handle);
  }

  // Names where DXF uses names.
  d.forEachObject([&](Object& o) {
    nameTags(o.body, names);
    nameTags(o.xdata, names);
  });
  for (auto& hv : d.header) nameTags(hv.values, names);
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
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  bool tooBig = false;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) err = errno;
      break;
    }
    if (bytes.size() + size_t(n) > kMaxFileSize) {
      tooBig = true;
      break;
    }
    bytes.insert(bytes.end(), buf, buf + n);
  }
  plat::_close(fd);
  if (err != 0) return Acad::eCantOpenFile;
  if (tooBig) return Acad::eOutOfMemory;
  return readDwgBytes(d, bytes, info);
}

}  // namespace kel::dwg
