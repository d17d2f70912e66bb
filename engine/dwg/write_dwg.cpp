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
#include "engine/dwg/families.h"
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

// Table name -> its control's type name.
#define KEL_CONTROL_OF(cnum, control, readLayout, writeLayout, controlPrep, num, name, marker, entryPrep) {#name, #control},
const char* const kControlTypes[][2] = {KEL_SYMBOL_TABLES(KEL_CONTROL_OF)};
#undef KEL_CONTROL_OF

const char* controlType(const std::string& table) {
  for (auto& c : kControlTypes)
    if (table == c[0]) return c[1];
  return nullptr;
}

// Gives a container's memory back; assigning {} to a vector would only empty it.
template <class T>
void release(T& v) {
  T().swap(v);
}

bool isSub(const Object& o) { return o.type == "VERTEX" || o.type == "ATTRIB" || o.type == "SEQEND"; }

// One record to write, kept small (a drawing has many records and most need no more than this);
// the few with links or a replacement body keep those in a PlanExtra.
constexpr uint32_t kNoExtra = UINT32_MAX;
struct Planned {
  const Object* o;
  const std::string* dwgType;  // interned: the same few names serve every record
  Handle owner = 0;
  uint32_t extra = kNoExtra;
  uint16_t type = 0;
  RecordKind kind = RecordKind::Object;
  uint8_t entmode = 0;
  bool dropped = false;  // a later record with a handle already planned
};
struct PlanExtra {
  ObjectLinks links;
  Tags body;
  bool useBody = false;
  const Object* blockBegin = nullptr;
};

bool hasLinks(const ObjectLinks& l) {
  return !l.owned.empty() || l.first || l.last || l.seqend || l.blockEntity || l.endblk || l.modelSpace ||
         l.paperSpace || l.prev || l.next;
}

// MTEXT background fills are not written: the two common readers disagree with the published
// layout on the width of the fill scale, so a text keeps its words and loses only the mask.
bool isFillGroup(int code) { return code == 90 || code == 45 || code == 63 || code == 441 || code == 421 || code == 431; }

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
  // Adds a record to the plan and answers its place.
  size_t add(const Object* o, RecordPlan&& p) {
    Planned r{o, intern(p.dwgType)};
    r.owner = p.owner;
    r.type = p.type;
    r.kind = p.kind;
    r.entmode = p.entmode;
    if (hasLinks(p.links) || p.useBody || !p.body.empty() || p.blockBegin) {
      r.extra = uint32_t(extras_.size());
      extras_.push_back(PlanExtra{std::move(p.links), std::move(p.body), p.useBody, p.blockBegin});
    }
    recs_.push_back(r);
    return recs_.size() - 1;
  }
  PlanExtra& extraOf(size_t at) {
    Planned& r = recs_[at];
    if (r.extra == kNoExtra) {
      r.extra = uint32_t(extras_.size());
      extras_.emplace_back();
    }
    return extras_[r.extra];
  }
  const std::string* intern(const std::string& name) { return &*typeNames_.insert(name).first; }
  // The full plan of a record for its encoding; its links and body move out of the plan, as each
  // record is encoded once.
  void planOf(Planned& r, RecordPlan& p);
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
  bool unwrapProxy(ProxyRecord& p, int proxyType);

  Drawing& d_;
  DwgWriteInfo& info_;
  Handle next_ = 1;
  std::vector<Planned> recs_;
  std::vector<PlanExtra> extras_;
  std::unordered_set<std::string> typeNames_;
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
// (from R2000 on) the data's format, then the data itself. R13 files put the proxy's own type
// number (498 or 499) before the class number.
bool Assembler::unwrapProxy(ProxyRecord& p, int proxyType) {
  BitReader r(p.data.data(), p.data.size());
  int32_t cls = r.BL();
  if (cls == proxyType) cls = r.BL();
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

void Assembler::planOf(Planned& r, RecordPlan& p) {
  p.type = r.type;
  p.dwgType = *r.dwgType;
  p.kind = r.kind;
  p.entmode = r.entmode;
  p.owner = r.owner;
  if (r.extra != kNoExtra) {
    PlanExtra& x = extras_[r.extra];
    p.links = std::move(x.links);
    p.body = std::move(x.body);
    p.useBody = x.useBody;
    p.blockBegin = x.blockBegin;
    return;
  }
  p.links.owned.clear();
  p.links = ObjectLinks{std::move(p.links.owned)};
  p.useBody = false;
  p.blockBegin = nullptr;
  p.body.clear();
  if (*r.dwgType == "MTEXT") {
    const Tags& b = r.o->body;
    if (std::any_of(b.begin(), b.end(), [](const Tag& t) { return isFillGroup(t.code); })) {
      for (const Tag& t : b)
        if (!isFillGroup(t.code)) p.body.push_back(t);
      p.useBody = true;
    }
  }
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
      if (wasProxy && !unwrapProxy(p.proxy, o.dwgType)) return "proxy whose class is not in the drawing";
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
      add(&e, std::move(pp));
      continue;
    }
    std::string type = dwgTypeFor(e, "");
    if (type.empty() || !e.handle) {
      skip(e, "no DWG form written for this type");
      for (const Object* s : subs) skip(*s, "parent left out");
      if (seqend) skip(*seqend, "parent left out");
      continue;
    }
    RecordPlan p;
    p.dwgType = type;
    p.type = fixedTypeNumber(type);
    p.kind = RecordKind::Entity;
    p.entmode = entmode;
    p.owner = owner;
    const bool poly = e.type == "POLYLINE";
    std::vector<std::pair<const Object*, RecordPlan>> subPlans;
    for (const Object* s : subs) {
      const bool fits = poly ? s->type == "VERTEX" : s->type == "ATTRIB";
      std::string st = dwgTypeFor(*s, poly ? type : "");
      if (!fits || st.empty() || !s->handle) {
        skip(*s, "sub-entity that does not fit its parent");
        continue;
      }
      RecordPlan sp;
      sp.dwgType = st;
      sp.type = fixedTypeNumber(st);
      sp.kind = RecordKind::Entity;
      sp.owner = e.handle;
      p.links.owned.push_back(s->handle);
      subPlans.emplace_back(s, std::move(sp));
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
      p.links.seqend = seqend->handle;
      RecordPlan sp;
      sp.dwgType = "SEQEND";
      sp.type = fixedTypeNumber("SEQEND");
      sp.kind = RecordKind::Entity;
      sp.owner = e.handle;
      subPlans.emplace_back(seqend, std::move(sp));
    } else if (seqend) {
      // An INSERT without attributes has no SEQEND in DWG.
    }
    top.push_back(e.handle);
    add(&e, std::move(p));
    for (auto& [so, sp] : subPlans) add(so, std::move(sp));
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

  // One record for each table entry, entity and object, and a few more: the plan is reserved for
  // them at once rather than left to grow by doubling.
  {
    size_t n = d_.entities.size() + d_.objects.size();
    for (const SymbolTable& t : d_.tables) n += 1 + t.entries.size();
    for (const Block& b : d_.blocks) n += 2 + b.entities.size();
    recs_.reserve(n + n / 64 + 16);
  }

  // Tables.
  std::map<std::string, Handle> controls;
  Handle msRec = 0, psRec = 0;
  for (const SymbolTable& t : d_.tables) {
    const char* ct = controlType(t.name);
    if (!ct || !t.control.handle) continue;
    controls[t.name] = t.control.handle;
    RecordPlan c;
    c.dwgType = ct;
    c.type = fixedTypeNumber(ct);
    c.kind = RecordKind::TableControl;
    c.owner = 0;
    c.useBody = true;
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
        c.links.modelSpace = e.handle;
        continue;
      }
      if (t.name == "LTYPE" && sameName(e.text(2), "ByLayer")) {
        c.links.paperSpace = e.handle;
        continue;
      }
      c.links.owned.push_back(e.handle);
    }
    if (t.name == "BLOCK_RECORD") {
      c.links.modelSpace = msRec;
      c.links.paperSpace = psRec;
    }
    c.body = {Tag::str(100, "AcDbSymbolTable"), Tag::integer(70, int64_t(c.links.owned.size()))};
    add(&t.control, std::move(c));
    if (t.name == "BLOCK_RECORD") continue;  // block records are planned with their blocks
    for (const Object& e : t.entries) {
      if (!e.handle) continue;
      RecordPlan p;
      p.dwgType = t.name;
      p.type = fixedTypeNumber(t.name);
      p.kind = RecordKind::TableEntry;
      p.owner = t.control.handle;
      add(&e, std::move(p));
    }
  }
  if (!msRec || !psRec || !controls.count("BLOCK_RECORD") || !controls.count("LAYER")) return Acad::eInvalidInput;

  // Block records with their blocks and entities. Model and paper space take the ENTITIES section.
  std::vector<const Object*> msList, psList;
  msList.reserve(d_.entities.size());
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
    RecordPlan p;
    p.dwgType = "BLOCK_RECORD";
    p.type = fixedTypeNumber("BLOCK_RECORD");
    p.kind = RecordKind::TableEntry;
    p.owner = controls["BLOCK_RECORD"];
    const size_t at = add(&rec, std::move(p));
    std::vector<Handle> owned;
    if (rec.handle == msRec) owned = planEntities(msList, msRec, 2);
    else if (rec.handle == psRec) owned = planEntities(psList, psRec, 1);
    else if (b) {
      std::vector<const Object*> list;
      for (const Object& e : b->entities) list.push_back(&e);
      owned = planEntities(list, rec.handle, 0);
    }
    extraOf(at).links.owned = std::move(owned);
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
    PlanExtra& x = extraOf(at);
    x.links.blockEntity = begin->handle;
    x.links.endblk = end->handle;
    x.blockBegin = begin;
    for (const Object* be : {begin, end}) {
      RecordPlan q;
      q.dwgType = be->type;
      q.type = fixedTypeNumber(be->type);
      q.kind = RecordKind::Entity;
      q.owner = rec.handle;
      // The two space blocks' BLOCK and ENDBLK name their space, not an owner.
      if (rec.handle == msRec) q.entmode = 2;
      if (rec.handle == psRec) q.entmode = 1;
      add(be, std::move(q));
    }
  }

  release(msList);
  release(psList);

  // Objects.
  for (const Object& o : d_.objects) {
    if (RecordPlan pp; const char* why = planPassThrough(o, RecordKind::Object, pp)) {
      if (*why) {
        skip(o, why);
        continue;
      }
    } else {
      pp.owner = o.owner;
      add(&o, std::move(pp));
      continue;
    }
    std::string type = dwgTypeFor(o, "");
    if (type.empty() || !o.handle) {
      skip(o, "no DWG form written for this type");
      continue;
    }
    RecordPlan p;
    p.dwgType = type;
    p.type = fixedTypeNumber(type);
    p.kind = RecordKind::Object;
    p.owner = o.owner;
    add(&o, std::move(p));
  }

  // Every handle once: a duplicate keeps its first record. Records go into the section in handle
  // order, so the object map's offsets only grow; `order` lists them so (the plan keeps its own
  // order for the steps below, which number classes as records first need them).
  std::vector<uint32_t> order;
  HandleSet present;
  {
    std::vector<std::pair<Handle, uint32_t>> byHandle;
    byHandle.reserve(recs_.size());
    for (size_t i = 0; i < recs_.size(); ++i) byHandle.emplace_back(recs_[i].o->handle, uint32_t(i));
    std::sort(byHandle.begin(), byHandle.end());
    std::vector<Handle> handles;
    handles.reserve(byHandle.size());
    order.reserve(byHandle.size());
    for (size_t i = 0; i < byHandle.size(); ++i) {
      if (i > 0 && byHandle[i].first == byHandle[i - 1].first) {
        recs_[byHandle[i].second].dropped = true;
        continue;
      }
      order.push_back(byHandle[i].second);
      handles.push_back(byHandle[i].first);
    }
    for (const Planned& r : recs_)
      if (r.dropped) skip(*r.o, "duplicate handle");
    present = HandleSet(std::move(handles));
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
    if (r.type || r.dropped) continue;
    const ClassInfo* ci = classInfoFor(*r.dwgType);
    if (ci) r.type = uint16_t(classNumber(*ci));
  }
  if (classes.empty()) classNumber(*classInfoFor("DICTIONARYVAR"));  // readers want a class above 499
  for (auto& r : recs_)
    if (!r.dropped && r.type >= 500 && size_t(r.type - 500) < classes.size()) ++classes[r.type - 500].instances;

  // Dictionaries name only records the file holds, with the reference kind their flag asks for.
  for (size_t at = 0; at < recs_.size(); ++at) {
    const Planned& r = recs_[at];
    if (r.dropped || (*r.dwgType != "DICTIONARY" && *r.dwgType != "DICTIONARYWDFLT")) continue;
    const Tags& b = r.o->body;
    bool hard = r.o->integer(280) == 1;
    Tags out;
    for (size_t i = 0; i < b.size(); ++i) {
      if (b[i].code == 3) {
        if (i + 1 < b.size() && (b[i + 1].code == 350 || b[i + 1].code == 360) && present.count(Handle(engine::asInt(b[i + 1])))) {
          out.push_back(b[i]);
          out.push_back(Tag::handle(hard ? 360 : 350, Handle(engine::asInt(b[i + 1]))));
          ++i;
        } else if (i + 1 < b.size() && (b[i + 1].code == 350 || b[i + 1].code == 360)) {
          ++i;
        }
        continue;
      }
      if (b[i].code == 350 || b[i].code == 360) continue;
      out.push_back(b[i]);
    }
    PlanExtra& x = extraOf(at);
    x.body = std::move(out);
    x.useBody = true;
  }

  // The file is laid out section by section in file order. The sections before the objects need
  // nothing the encoding decides, so they go first and the objects follow page by page.
  FileInfo fi;
  if (const auto* hv = d_.headerVar("$TDCREATE"); hv && !hv->values.empty()) fi.created = engine::asDouble(hv->values[0]);
  if (const auto* hv = d_.headerVar("$TDUPDATE"); hv && !hv->values.empty()) fi.updated = engine::asDouble(hv->values[0]);
  if (const auto* hv = d_.headerVar("$MEASUREMENT"); hv && !hv->values.empty()) fi.measurement = int(engine::asInt(hv->values[0]));
  if (d_.settings.updateThumbnail) fi.thumbnail = renderThumbnail(d_);
  const std::string names[] = {
      std::string(kSectionSummaryInfo), std::string(kSectionPreview),      std::string(kSectionAppInfo),
      std::string(kSectionFileDepList), std::string(kSectionRevHistory),   std::string(kSectionObjects),
      std::string(kSectionObjFreeSpace), std::string(kSectionTemplate),    std::string(kSectionHandles),
      std::string(kSectionClasses),     std::string(kSectionAuxHeader),    std::string(kSectionHeader)};
  // Plain entities come to about 32 bytes a record in the file; a little more is reserved so that
  // a drawing of them never moves the file at the end of the write, when it is largest.
  ContainerWriter2004 w(names, WriteOptions2004{}, file, 0x10000 + order.size() * 40);
  w.add(kSectionSummaryInfo, writeSummaryInfo(fi));
  w.add(kSectionPreview, writePreview(fi));
  w.add(kSectionAppInfo, writeAppInfo());
  w.add(kSectionFileDepList, writeFileDepList());
  w.add(kSectionRevHistory, writeRevHistory());

  // Encode the records, one buffer set serving them all. Whole pages of the stream go to the file
  // as they fill; `objects` keeps only the part after the last of them, which starts at `paged`.
  WriteContext ctx;
  ctx.version = v;
  ctx.names = &names_;
  ctx.present = &present;
  ctx.proxyGraphics = d_.settings.saveProxyGraphics != 0;
  EncodeScratch scratch(v);
  ctx.scratch = &scratch;
  w.begin(kSectionObjects);
  std::vector<uint8_t> objects = {0xCA, 0x0D, 0x00, 0x00};
  objects.reserve(2 * kMaxPageData);
  uint64_t paged = 0;
  std::vector<std::pair<Handle, uint64_t>> map;
  map.reserve(order.size());
  std::vector<uint8_t> rec;
  RecordPlan plan;
  std::vector<Handle> failed;
  for (uint32_t at : order) {
    Planned& r = recs_[at];
    planOf(r, plan);
    auto pt = pass_.find(r.o->handle);
    const size_t start = objects.size();
    bool ok = false;
    if (pt == pass_.end()) {
      ok = appendRecord(*r.o, plan, ctx, objects);
    } else {
      ok = pt->second.copy ? reframeRecord(r.o->dwgRaw, src_, srcClasses_, plan.type, rec)
                           : encodeProxy(*r.o, plan, ctx, pt->second.proxy, rec);
      if (ok) objects.insert(objects.end(), rec.begin(), rec.end());
    }
    if (!ok) {
      skip(*r.o, "its data did not fit the DWG form");
      failed.push_back(r.o->handle);
      continue;
    }
    map.emplace_back(r.o->handle, paged + start);
    if (objects.size() >= kMaxPageData) {
      const size_t whole = objects.size() / kMaxPageData * kMaxPageData;
      w.append(std::span<const uint8_t>(objects).first(whole));
      objects.erase(objects.begin(), objects.begin() + ptrdiff_t(whole));
      paged += whole;
    }
  }
  w.append(objects);
  release(objects);
  release(rec);
  scratch = EncodeScratch(v);  // its buffers are not needed for the rest
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
        if (sameName(nod.body[i].s, key)) links.handles[var] = Handle(engine::asInt(nod.body[i + 1]));
    }
  }
  for (Handle h : failed) present.erase(h);
  links.seed = next_;
  for (const auto& r : recs_) links.seed = std::max(links.seed, r.o->handle + 1);
  // The plan is spent: its memory goes back before the sections are laid out.
  release(recs_);
  release(extras_);
  release(order);

  fi.seed = links.seed;
  fi.objects = info_.written;
  w.add(kSectionObjFreeSpace, writeObjFreeSpace(fi));
  w.add(kSectionTemplate, writeTemplate(fi));
  w.add(kSectionHandles, writeObjectMap(std::move(map)));
  w.add(kSectionClasses, writeClassesSection(classes, v));
  w.add(kSectionAuxHeader, writeAuxHeader(fi));
  w.add(kSectionHeader, writeHeaderSection(d_, links, ctx));
  return w.finish();
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
