// Drawing -> AC1027 file: which records are written and how they link, then the sections.
#include "engine/dwg/write_dwg.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "engine/dwg/container2004.h"
#include "engine/dwg/objects_write.h"
#include "engine/dwg/raw_records.h"
#include "engine/dwg/write_sections.h"
#include "platform/crt.h"
#include "platform/fileio.h"
#include "engine/acdbhost.h"
#include "platform/utf.h"

namespace kel::dwg {

using engine::Block;
using engine::Drawing;
using engine::Object;
using engine::sameName;
using engine::SymbolTable;
using engine::Tag;
using engine::Tags;
using engine::upper;
using engine::ValueKind;

namespace {

const char* const kControlTypes[][2] = {
    {"BLOCK_RECORD", "BLOCK_CONTROL"}, {"LAYER", "LAYER_CONTROL"}, {"STYLE", "STYLE_CONTROL"},
    {"LTYPE", "LTYPE_CONTROL"},        {"VIEW", "VIEW_CONTROL"},   {"UCS", "UCS_CONTROL"},
    {"VPORT", "VPORT_CONTROL"},        {"APPID", "APPID_CONTROL"}, {"DIMSTYLE", "DIMSTYLE_CONTROL"}};

const char* controlType(const std::string& table) {
  for (auto& c : kControlTypes)
    if (table == c[0]) return c[1];
  return nullptr;
}

bool isSub(const Object& o) { return o.type == "VERTEX" || o.type == "ATTRIB" || o.type == "SEQEND"; }

struct Planned {
  const Object* o;
  RecordPlan plan;
};

// Whether a class's own part is stored in a file of release `from` as in AC1027. Classes whose
// layout changed between releases, as measured on the corpus (the table and visual styles were
// reworked in R2010 and R2013, section view styles gained fields in R2018); every other class
// is copied as it is.
bool sameOwnPart(Version from, const std::string& cls) {
  if (from == Version::R2013) return true;
  if (cls == "VISUALSTYLE") return from == Version::R2018;
  if (cls == "TABLESTYLE") return from >= Version::R2010;
  if (cls == "ACDBSECTIONVIEWSTYLE" || cls == "ACDBDETAILVIEWSTYLE") return from < Version::R2018;
  return true;
}

bool isProxy(const Object& o) { return o.type == "ACAD_PROXY_ENTITY" || o.type == "ACAD_PROXY_OBJECT"; }

// A record written from what the drawing kept of it rather than from its DXF form: a raw record
// copied with a new frame, or a proxy (read from DXF, or made from a raw record).
struct PassThrough {
  bool copy = false;
  ProxyRecord proxy;
};

class Assembler {
 public:
  Assembler(Drawing& d, DwgWriteInfo& info) : d_(d), info_(info) {
    next_ = std::max(d.nextHandle, d.maxHandle() + 1);
    srcKnown_ = versionOfDrawing(d.version, &src_);
    srcClasses_ = classesOf(d.classes);
    // The output lists the drawing's own classes first, in order, leaving out nameless ones.
    int n = 500;
    for (const auto& c : srcClasses_) classMap_[c.number] = c.dxfName.empty() ? 0 : n++;
    if (const auto* hv = d.headerVar("$ACADMAINTVER"); hv && !hv->values.empty())
      maint_ = uint32_t(engine::asInt(hv->values[0]));
  }

  Acad::ErrorStatus build(std::vector<uint8_t>& file);

 private:
  void skip(const Object& o, const char* why) {
    ++info_.skipped;
    if (info_.skippedTypes[o.type]++ == 0)
      info_.notes.push_back("DWG write: " + o.type + " records left out (" + why + ")");
  }
  // Plans the entities of one block (or of model/paper space) and returns the top-level handles.
  std::vector<Handle> planEntities(const std::vector<const Object*>& list, Handle owner, uint8_t entmode);
  Handle nameHandle(const std::string& table, const std::string& name) const { return names_.find(table, name); }
  // Raw records and proxies: fills the plan's type and answers the reason when the record
  // cannot be written (null when it can). Other records answer "" and are planned as usual.
  const char* planPassThrough(const Object& o, RecordKind kind, RecordPlan& plan);
  bool unwrapProxy(ProxyRecord& p);

  Drawing& d_;
  DwgWriteInfo& info_;
  Handle next_ = 1;
  std::vector<Planned> recs_;
  std::deque<Object> synthesized_;
  NameIndex names_;
  std::unordered_map<Handle, PassThrough> pass_;
  bool srcKnown_ = false;
  Version src_ = Version::R2013;
  std::vector<DwgClass> srcClasses_;
  std::unordered_map<int, int> classMap_;  // source class number -> output class number
  uint32_t maint_ = 0;
};

// A proxy of an earlier release read as raw: its own part starts with the class number and
// (from R2000 on) the data's format, then the data itself.
bool Assembler::unwrapProxy(ProxyRecord& p) {
  BitReader r(p.data.data(), p.data.size());
  const int32_t cls = r.BL();
  const uint32_t format = src_ >= Version::R2000 ? uint32_t(r.BL()) : formatCode(src_);
  if (r.error() || r.positionBits() > p.dataBits || !classMap_.count(cls) || !classMap_[cls]) return false;
  p.classId = classMap_[cls];
  p.format = format;
  BitWriter w;
  for (size_t i = r.positionBits(); i < p.dataBits; ++i) w.B(r.B());
  p.dataBits = w.sizeBits();
  auto bytes = w.bytes();
  p.data.assign(bytes.begin(), bytes.end());
  return true;
}

const char* Assembler::planPassThrough(const Object& o, RecordKind kind, RecordPlan& plan) {
  const bool raw = !o.dwgRaw.empty();
  if (!raw && !isProxy(o)) return "";
  if (!o.handle) return "no handle";
  PassThrough p;
  if (raw) {
    if (!srcKnown_) return "undecoded data of an unknown release";
    const bool classed = o.dwgType >= 500;
    const int out = classed && classMap_.count(o.dwgType) ? classMap_[o.dwgType] : 0;
    if (classed && !out) return "its class is not in the drawing";
    const std::string cls = classed ? srcClasses_[size_t(o.dwgType - 500)].dxfName : std::string();
    if (src_ >= Version::R2007 && sameOwnPart(src_, cls)) {
      // Same layout as the output's: the record is copied with a new frame.
      p.copy = true;
      plan.type = uint16_t(classed ? out : o.dwgType);
    } else if (src_ >= Version::R2007) {
      // The class stores its own part differently in the output's release: a proxy carries it
      // with the release it is in.
      if (!proxyFromRaw(o.dwgRaw, src_, formatCode(src_) | maint_ << 16, srcClasses_, out, p.proxy))
        return "undecoded data whose common part could not be read";
      if ((kind == RecordKind::Entity) != p.proxy.entity) return "undecoded data of the wrong kind";
      plan.type = p.proxy.entity ? 498 : 499;
    } else {
      // Texts inline in the data: only a proxy can carry it, and only for a class.
      const bool wasProxy = o.dwgType == 498 || o.dwgType == 499;
      if (!classed && !wasProxy) return "undecoded data of an earlier release";
      if (!proxyFromRaw(o.dwgRaw, src_, formatCode(src_) | maint_ << 16, srcClasses_, out, p.proxy))
        return "undecoded data whose common part could not be read";
      if (wasProxy && !unwrapProxy(p.proxy)) return "proxy whose class is not in the drawing";
      if ((kind == RecordKind::Entity) != p.proxy.entity) return "undecoded data of the wrong kind";
      plan.type = p.proxy.entity ? 498 : 499;
    }
  } else {
    if (!proxyFromTags(o, p.proxy)) return "proxy without data in DWG form";
    p.proxy.entity = kind == RecordKind::Entity;
    plan.type = p.proxy.entity ? 498 : 499;
  }
  plan.dwgType = o.type;
  plan.kind = kind;
  pass_[o.handle] = std::move(p);
  return nullptr;
}

std::vector<Handle> Assembler::planEntities(const std::vector<const Object*>& list, Handle owner, uint8_t entmode) {
  std::vector<Handle> top;
  for (size_t i = 0; i < list.size(); ++i) {
    const Object& e = *list[i];
    if (isSub(e)) {
      skip(e, "sub-entity without its parent");
      continue;
    }
    // The sub-entities that follow a POLYLINE or INSERT, up to and with the SEQEND.
    std::vector<const Object*> subs;
    const Object* seqend = nullptr;
    if (e.type == "POLYLINE" || e.type == "INSERT") {
      size_t j = i + 1;
      while (j < list.size() && isSub(*list[j])) {
        if (list[j]->type == "SEQEND") {
          seqend = list[j++];
          break;
        }
        subs.push_back(list[j++]);
      }
      i = j - 1;
    }
    if (RecordPlan pp; const char* why = planPassThrough(e, RecordKind::Entity, pp)) {
      if (*why) {
        skip(e, why);
        continue;
      }
    } else {
      pp.entmode = entmode;
      pp.owner = owner;
      top.push_back(e.handle);
      recs_.push_back(Planned{&e, std::move(pp)});
      continue;
    }
    std::string type = dwgTypeFor(e, "");
    if (type.empty() || !e.handle) {
      skip(e, "no DWG form written for this type");
      for (const Object* s : subs) skip(*s, "parent left out");
      if (seqend) skip(*seqend, "parent left out");
      continue;
    }
    Planned p{&e, {}};
    p.plan.dwgType = type;
    p.plan.type = fixedTypeNumber(type);
    p.plan.kind = RecordKind::Entity;
    p.plan.entmode = entmode;
    p.plan.owner = owner;
    const bool poly = e.type == "POLYLINE";
    std::vector<Planned> subPlans;
    for (const Object* s : subs) {
      const bool fits = poly ? s->type == "VERTEX" : s->type == "ATTRIB";
      std::string st = dwgTypeFor(*s, poly ? type : "");
      if (!fits || st.empty() || !s->handle) {
        skip(*s, "sub-entity that does not fit its parent");
        continue;
      }
      Planned sp{s, {}};
      sp.plan.dwgType = st;
      sp.plan.type = fixedTypeNumber(st);
      sp.plan.kind = RecordKind::Entity;
      sp.plan.owner = e.handle;
      p.plan.links.owned.push_back(s->handle);
      subPlans.push_back(std::move(sp));
    }
    if (poly || !subPlans.empty()) {
      if (!seqend || !seqend->handle) {
        Object s;
        s.type = "SEQEND";
        s.handle = next_++;
        s.owner = e.handle;
        s.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, e.text(8, "0"))};
        synthesized_.push_back(std::move(s));
        seqend = &synthesized_.back();
      }
      p.plan.links.seqend = seqend->handle;
      Planned sp{seqend, {}};
      sp.plan.dwgType = "SEQEND";
      sp.plan.type = fixedTypeNumber("SEQEND");
      sp.plan.kind = RecordKind::Entity;
      sp.plan.owner = e.handle;
      subPlans.push_back(std::move(sp));
    } else if (seqend) {
      // An INSERT without attributes has no SEQEND in DWG.
    }
    top.push_back(e.handle);
    recs_.push_back(std::move(p));
    for (auto& sp : subPlans) recs_.push_back(std::move(sp));
  }
  return top;
}

Acad::ErrorStatus Assembler::build(std::vector<uint8_t>& file) {
  const Version v = Version::R2013;
  // Names of table entries (and multiline styles) for the name-valued groups.
  for (const SymbolTable& t : d_.tables)
    for (const Object& e : t.entries) names_.add(t.name, e.text(2), e.handle);
  for (const Object& o : d_.objects)
    if (o.type == "MLINESTYLE") names_.add("MLINESTYLE", o.text(2), o.handle);

  // Tables.
  std::map<std::string, Handle> controls;
  Handle msRec = 0, psRec = 0;
  for (const SymbolTable& t : d_.tables) {
    const char* ct = controlType(t.name);
    if (!ct || !t.control.handle) continue;
    controls[t.name] = t.control.handle;
    Planned c{&t.control, {}};
    c.plan.dwgType = ct;
    c.plan.type = fixedTypeNumber(ct);
    c.plan.kind = RecordKind::TableControl;
    c.plan.owner = 0;
    c.plan.useBody = true;
    for (const Object& e : t.entries) {
      if (!e.handle) continue;
      if (t.name == "BLOCK_RECORD" && sameName(e.text(2), "*Model_Space")) {
        msRec = e.handle;
        continue;
      }
      if (t.name == "BLOCK_RECORD" && sameName(e.text(2), "*Paper_Space")) {
        psRec = e.handle;
        continue;
      }
      if (t.name == "LTYPE" && sameName(e.text(2), "ByBlock")) {
        c.plan.links.modelSpace = e.handle;
        continue;
      }
      if (t.name == "LTYPE" && sameName(e.text(2), "ByLayer")) {
        c.plan.links.paperSpace = e.handle;
        continue;
      }
      c.plan.links.owned.push_back(e.handle);
    }
    if (t.name == "BLOCK_RECORD") {
      c.plan.links.modelSpace = msRec;
      c.plan.links.paperSpace = psRec;
    }
    c.plan.body = {Tag::str(100, "AcDbSymbolTable"), Tag::integer(70, int64_t(c.plan.links.owned.size()))};
    recs_.push_back(std::move(c));
    if (t.name == "BLOCK_RECORD") continue;  // block records are planned with their blocks
    for (const Object& e : t.entries) {
      if (!e.handle) continue;
      Planned p{&e, {}};
      p.plan.dwgType = t.name;
      p.plan.type = fixedTypeNumber(t.name);
      p.plan.kind = RecordKind::TableEntry;
      p.plan.owner = t.control.handle;
      recs_.push_back(std::move(p));
    }
  }
  if (!msRec || !psRec || !controls.count("BLOCK_RECORD") || !controls.count("LAYER")) return Acad::eInvalidInput;

  // Block records with their blocks and entities. Model and paper space take the ENTITIES section.
  std::vector<const Object*> msList, psList;
  {
    Handle current = msRec;
    for (const Object& e : d_.entities) {
      if (!isSub(e)) current = e.owner == psRec ? psRec : msRec;
      (current == psRec ? psList : msList).push_back(&e);
    }
  }
  const SymbolTable* brt = d_.table("BLOCK_RECORD");
  for (const Object& rec : brt->entries) {
    if (!rec.handle) continue;
    Block* b = d_.block(rec.text(2));
    Planned p{&rec, {}};
    p.plan.dwgType = "BLOCK_RECORD";
    p.plan.type = fixedTypeNumber("BLOCK_RECORD");
    p.plan.kind = RecordKind::TableEntry;
    p.plan.owner = controls["BLOCK_RECORD"];
    size_t at = recs_.size();
    recs_.push_back(std::move(p));
    std::vector<Handle> owned;
    if (rec.handle == msRec) owned = planEntities(msList, msRec, 2);
    else if (rec.handle == psRec) owned = planEntities(psList, psRec, 1);
    else if (b) {
      std::vector<const Object*> list;
      for (const Object& e : b->entities) list.push_back(&e);
      owned = planEntities(list, rec.handle, 0);
    }
    recs_[at].plan.links.owned = owned;
    // BLOCK and ENDBLK (made up when the drawing has none for this record).
    const Object* begin = b && b->begin.handle ? &b->begin : nullptr;
    const Object* end = b && b->end.handle ? &b->end : nullptr;
    if (!begin) {
      Object s;
      s.type = "BLOCK";
      s.handle = next_++;
      s.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockBegin"),
                Tag::str(2, rec.text(2))};
      synthesized_.push_back(std::move(s));
      begin = &synthesized_.back();
    }
    if (!end) {
      Object s;
      s.type = "ENDBLK";
      s.handle = next_++;
      s.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockEnd")};
      synthesized_.push_back(std::move(s));
      end = &synthesized_.back();
    }
    recs_[at].plan.links.blockEntity = begin->handle;
    recs_[at].plan.links.endblk = end->handle;
    recs_[at].plan.blockBegin = begin;
    for (const Object* be : {begin, end}) {
      Planned q{be, {}};
      q.plan.dwgType = be->type;
      q.plan.type = fixedTypeNumber(be->type);
      q.plan.kind = RecordKind::Entity;
      q.plan.owner = rec.handle;
      // The two space blocks' BLOCK and ENDBLK name their space, not an owner.
      if (rec.handle == msRec) q.plan.entmode = 2;
      if (rec.handle == psRec) q.plan.entmode = 1;
      recs_.push_back(std::move(q));
    }
  }

  // Objects.
  for (const Object& o : d_.objects) {
    if (RecordPlan pp; const char* why = planPassThrough(o, RecordKind::Object, pp)) {
      if (*why) {
        skip(o, why);
        continue;
      }
    } else {
      pp.owner = o.owner;
      recs_.push_back(Planned{&o, std::move(pp)});
      continue;
    }
    std::string type = dwgTypeFor(o, "");
    if (type.empty() || !o.handle) {
      skip(o, "no DWG form written for this type");
      continue;
    }
    Planned p{&o, {}};
    p.plan.dwgType = type;
    p.plan.type = fixedTypeNumber(type);
    p.plan.kind = RecordKind::Object;
    p.plan.owner = o.owner;
    recs_.push_back(std::move(p));
  }

  // Every handle once: a duplicate keeps its first record.
  std::unordered_set<Handle> present;
  {
    std::vector<Planned> unique;
    unique.reserve(recs_.size());
    for (auto& r : recs_) {
      if (!present.insert(r.o->handle).second) {
        skip(*r.o, "duplicate handle");
        continue;
      }
      unique.push_back(std::move(r));
    }
    recs_ = std::move(unique);
  }

  // Classes: the drawing's own, then those the written records need.
  std::vector<DwgClass> classes;
  for (const Tags& c : d_.classes) {
    DwgClass k;
    for (const Tag& t : c) {
      if (t.code == 1) k.dxfName = t.s;
      else if (t.code == 2) k.cppName = t.s;
      else if (t.code == 3) k.appName = t.s;
      else if (t.code == 90) k.proxyFlags = int(engine::asInt(t));
      else if (t.code == 280) k.wasZombie = engine::asInt(t) != 0;
      else if (t.code == 281) k.isEntity = engine::asInt(t) != 0;
    }
    if (k.dxfName.empty()) continue;
    k.number = int(500 + classes.size());
    classes.push_back(std::move(k));
  }
  auto classNumber = [&](const ClassInfo& ci) {
    for (auto& c : classes)
      if (c.dxfName == ci.dxfName) return c.number;
    DwgClass k;
    k.dxfName = ci.dxfName;
    k.cppName = ci.cppName;
    k.appName = "ObjectDBX Classes";
    k.isEntity = ci.entity;
    k.number = int(500 + classes.size());
    classes.push_back(k);
    return k.number;
  };
  for (auto& r : recs_) {
    if (r.plan.type) continue;
    const ClassInfo* ci = classInfoFor(r.plan.dwgType);
    if (ci) r.plan.type = uint16_t(classNumber(*ci));
  }
  if (classes.empty()) classNumber(*classInfoFor("DICTIONARYVAR"));  // readers want a class above 499
  for (auto& r : recs_)
    if (r.plan.type >= 500 && size_t(r.plan.type - 500) < classes.size()) ++classes[r.plan.type - 500].instances;

  // Dictionaries name only records the file holds, with the reference kind their flag asks for.
  for (auto& r : recs_) {
    if (r.plan.dwgType != "DICTIONARY" && r.plan.dwgType != "DICTIONARYWDFLT") continue;
    const Tags& b = r.o->body;
    bool hard = r.o->integer(280) == 1;
    Tags out;
    for (size_t i = 0; i < b.size(); ++i) {
      if (b[i].code == 3) {
        if (i + 1 < b.size() && (b[i + 1].code == 350 || b[i + 1].code == 360) && present.count(Handle(b[i + 1].i))) {
          out.push_back(b[i]);
          out.push_back(Tag::handle(hard ? 360 : 350, Handle(b[i + 1].i)));
          ++i;
        } else if (i + 1 < b.size() && (b[i + 1].code == 350 || b[i + 1].code == 360)) {
          ++i;
        }
        continue;
      }
      if (b[i].code == 350 || b[i].code == 360) continue;
      out.push_back(b[i]);
    }
    r.plan.body = std::move(out);
    r.plan.useBody = true;
  }

  // MTEXT background fills are not written: the two common readers disagree with the published
  // layout on the width of the fill scale, so a text keeps its words and loses only the mask.
  for (auto& r : recs_) {
    if (r.plan.dwgType != "MTEXT") continue;
    Tags out;
    for (const Tag& t : r.o->body)
      if (t.code != 90 && t.code != 45 && t.code != 63 && t.code != 441 && t.code != 421 && t.code != 431)
        out.push_back(t);
    r.plan.body = std::move(out);
    r.plan.useBody = true;
  }

  // Records go into the section in handle order, so the object map's offsets only grow.
  std::sort(recs_.begin(), recs_.end(), [](const Planned& a, const Planned& b) { return a.o->handle < b.o->handle; });

  // Encode the records.
  WriteContext ctx;
  ctx.version = v;
  ctx.names = &names_;
  ctx.present = &present;
  ctx.proxyGraphics = d_.settings.saveProxyGraphics != 0;
  std::vector<uint8_t> objects = {0xCA, 0x0D, 0x00, 0x00};
  std::vector<std::pair<Handle, uint64_t>> map;
  map.reserve(recs_.size());
  std::vector<uint8_t> rec;
  std::unordered_set<Handle> failed;
  for (const auto& r : recs_) {
    auto pt = pass_.find(r.o->handle);
    bool ok = pt == pass_.end() ? encodeRecord(*r.o, r.plan, ctx, rec)
              : pt->second.copy ? reframeRecord(r.o->dwgRaw, src_, srcClasses_, r.plan.type, rec)
                                : encodeProxy(*r.o, r.plan, ctx, pt->second.proxy, rec);
    if (!ok) {
      skip(*r.o, "its data did not fit the DWG form");
      failed.insert(r.o->handle);
      continue;
    }
    map.emplace_back(r.o->handle, objects.size());
    objects.insert(objects.end(), rec.begin(), rec.end());
  }
  info_.written = map.size();

  // Header links.
  HeaderLinks links;
  for (const auto& [table, h] : controls) {
    std::string key = table == "BLOCK_RECORD" ? "_BLOCK_CONTROL" : "_" + table + "_CONTROL";
    links.handles[key] = h;
  }
  links.handles["_BLOCK_RECORD_MSPACE"] = msRec;
  links.handles["_BLOCK_RECORD_PSPACE"] = psRec;
  links.handles["_LTYPE_BYLAYER"] = nameHandle("LTYPE", "ByLayer");
  links.handles["_LTYPE_BYBLOCK"] = nameHandle("LTYPE", "ByBlock");
  links.handles["_LTYPE_CONTINUOUS"] = nameHandle("LTYPE", "Continuous");
  if (!d_.objects.empty() && d_.objects.front().type == "DICTIONARY") {
    const Object& nod = d_.objects.front();
    links.handles["_DICTIONARY_NAMED_OBJECT"] = nod.handle;
    const std::pair<const char*, const char*> keys[] = {
        {"ACAD_GROUP", "_DICTIONARY_ACAD_GROUP"},         {"ACAD_MLINESTYLE", "_DICTIONARY_ACAD_MLINESTYLE"},
        {"ACAD_LAYOUT", "_DICTIONARY_LAYOUT"},           {"ACAD_PLOTSETTINGS", "_DICTIONARY_PLOTSETTINGS"},
        {"ACAD_PLOTSTYLENAME", "_DICTIONARY_PLOTSTYLENAME"}, {"ACAD_MATERIAL", "_DICTIONARY_MATERIAL"},
        {"ACAD_COLOR", "_DICTIONARY_COLOR"},             {"ACAD_VISUALSTYLE", "_DICTIONARY_VISUALSTYLE"}};
    for (size_t i = 0; i + 1 < nod.body.size(); ++i) {
      if (nod.body[i].code != 3) continue;
      for (auto [key, var] : keys)
        if (sameName(nod.body[i].s, key)) links.handles[var] = Handle(nod.body[i + 1].i);
    }
  }
  for (Handle h : failed) present.erase(h);
  links.seed = next_;
  for (const auto& r : recs_) links.seed = std::max(links.seed, r.o->handle + 1);

  std::vector<uint8_t> header = writeHeaderSection(d_, links, ctx);
  std::vector<uint8_t> classSection = writeClassesSection(classes, v);
  std::vector<uint8_t> handles = writeObjectMap(std::move(map));

  FileInfo fi;
  if (const auto* hv = d_.headerVar("$TDCREATE"); hv && !hv->values.empty()) fi.created = engine::asDouble(hv->values[0]);
  if (const auto* hv = d_.headerVar("$TDUPDATE"); hv && !hv->values.empty()) fi.updated = engine::asDouble(hv->values[0]);
  if (const auto* hv = d_.headerVar("$MEASUREMENT"); hv && !hv->values.empty()) fi.measurement = int(engine::asInt(hv->values[0]));
  fi.seed = links.seed;
  fi.objects = info_.written;
  if (d_.settings.updateThumbnail) fi.thumbnail = renderThumbnail(d_);
  std::vector<uint8_t> aux = writeAuxHeader(fi), preview = writePreview(fi), summary = writeSummaryInfo(fi),
                       app = writeAppInfo(), deps = writeFileDepList(), revs = writeRevHistory(),
                       templ = writeTemplate(fi), freeSpace = writeObjFreeSpace(fi);
  const SectionInput2004 sections[] = {
      {std::string(kSectionSummaryInfo), summary}, {std::string(kSectionPreview), preview},
      {std::string(kSectionAppInfo), app},         {std::string(kSectionFileDepList), deps},
      {std::string(kSectionRevHistory), revs},     {std::string(kSectionObjects), objects},
      {std::string(kSectionObjFreeSpace), freeSpace}, {std::string(kSectionTemplate), templ},
      {std::string(kSectionHandles), handles},     {std::string(kSectionClasses), classSection},
      {std::string(kSectionAuxHeader), aux},       {std::string(kSectionHeader), header},
  };
  WriteOptions2004 opt;
  return writeContainer2004(sections, opt, file);
}

// "name.dwg" -> "name.bak": the backup takes the place of the extension.
std::u16string backupName(const std::u16string& path) {
  size_t slash = path.find_last_of(u"\\/");
  size_t dot = path.find_last_of(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return path + u".bak";
  return path.substr(0, dot) + u".bak";
}

bool writeWhole(const char16_t* path, std::span<const uint8_t> bytes) {
  int fd = -1;
  if (plat::_wsopen_s(&fd, path, plat::_O_WRONLY | plat::_O_CREAT | plat::_O_TRUNC | plat::_O_BINARY,
                      plat::_SH_DENYRW, plat::_S_IREAD | plat::_S_IWRITE) != 0 ||
      fd < 0)
    return false;
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += size_t(n);
  }
  if (ok && ::fsync(fd) != 0 && errno != EINVAL) ok = false;
  if (plat::_close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

Acad::ErrorStatus writeDwgBytes(Drawing& d, std::vector<uint8_t>& file, DwgWriteInfo* info) {
  DwgWriteInfo local;
  DwgWriteInfo& inf = info ? *info : local;
  inf = DwgWriteInfo{};
  Assembler a(d, inf);
  return a.build(file);
}

Acad::ErrorStatus writeDwgFrom(Drawing& d, const char16_t* path, int version, bool backupAndRename, DwgWriteInfo* info) {
  if (!path || !*path) return Acad::eInvalidInput;
  if (version != 31) return Acad::eInvalidDwgVersion;
  std::vector<uint8_t> bytes;
  DwgWriteInfo local;
  DwgWriteInfo& inf = info ? *info : local;
  Acad::ErrorStatus es = writeDwgBytes(d, bytes, &inf);
  if (es != Acad::eOk) return es;
  // The user hears of every kind of record the file leaves out, once.
  for (const std::string& note : inf.notes) acutPrintf(u"\n%s", plat::fromUtf8(note).c_str());

  // The new file is written beside the target, then put in its place.
  const std::u16string target(path);
  const std::u16string temp = target + u".kel" + plat::fromUtf8(std::to_string(::getpid())) + u".tmp";
  if (!writeWhole(temp.c_str(), bytes)) {
    plat::_wunlink(temp.c_str());
    return Acad::eFileAccessErr;
  }
  const bool exists = plat::_waccess(path, 0) != -1;
  if (exists && backupAndRename) {
    const std::u16string bak = backupName(target);
    if (plat::_waccess(bak.c_str(), 0) != -1) plat::_wunlink(bak.c_str());
    if (plat::_wrename(path, bak.c_str()) != 0) {
      plat::_wunlink(temp.c_str());
      return Acad::eFileAccessErr;
    }
    if (plat::_wrename(temp.c_str(), path) != 0) {
      plat::_wrename(bak.c_str(), path);  // put the old file back
      plat::_wunlink(temp.c_str());
      return Acad::eFileAccessErr;
    }
    return Acad::eOk;
  }
  // Without a backup the old file is replaced in one step, so it survives any failure before.
  if (std::rename(plat::toPosixPath(temp.c_str()).c_str(), plat::toPosixPath(path).c_str()) != 0) {
    plat::_wunlink(temp.c_str());
    return Acad::eFileAccessErr;
  }
  return Acad::eOk;
}

}  // namespace kel::dwg
