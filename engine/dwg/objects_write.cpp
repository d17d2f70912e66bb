// Writing object records: the ObjectWriter side of the per-type descriptions, the preparation
// steps that compute the structural values a description reads with code 0, and the common part
// of every record (type, handle, extended data, entity/object common data and handles).
#include "engine/dwg/objects_write.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>

#include "engine/dwg/crc.h"
#include "engine/dwg/families.h"
#include "engine/dwg/objects_types.h"

namespace kel::dwg {

using engine::upper;
using engine::ValueKind;

// ---- names --------------------------------------------------------------------------------------

void NameIndex::add(const std::string& table, const std::string& name, Handle h) {
  map_.emplace(table + '\n' + upper(name), h);
}

Handle NameIndex::find(const std::string& table, const std::string& name) const {
  // Asked for nearly every record (its layer, linetype, style): the key is built in a buffer that
  // stays, with the same upper-casing add() applies.
  thread_local std::string key;
  key.assign(table);
  key += '\n';
  for (char c : name) key += char(std::toupper(static_cast<unsigned char>(c)));
  auto it = map_.find(key);
  return it == map_.end() ? 0 : it->second;
}

// ---- handle sets --------------------------------------------------------------------------------

HandleSet::HandleSet(std::vector<Handle> handles) {
  std::sort(handles.begin(), handles.end());
  handles.erase(std::unique(handles.begin(), handles.end()), handles.end());
  // A bit per handle up to the largest costs less than the list when the handles fill at least
  // one in 64 of that range.
  const Handle top = handles.empty() ? 0 : handles.back();
  if (!handles.empty() && top / 64 <= handles.size()) {
    bits_.assign(size_t(top / 64 + 1), 0);
    for (Handle h : handles) bits_[h >> 6] |= uint64_t(1) << (h & 63);
  } else {
    sorted_ = std::move(handles);
  }
}

void HandleSet::erase(Handle h) {
  if (!bits_.empty()) {
    if (h < bits_.size() * 64) bits_[h >> 6] &= ~(uint64_t(1) << (h & 63));
    return;
  }
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), h);
  if (it != sorted_.end() && *it == h) sorted_.erase(it);
}

// ---- small helpers ------------------------------------------------------------------------------

namespace {

// UTF-8 -> UTF-16 into `out` (replacing its content, keeping its storage).
void utf8ToUtf16Into(const std::string& s, std::u16string& out) {
  out.clear();
  size_t i = 0;
  // Plain ASCII, the usual case, widens unit for unit.
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  out.assign(s.begin(), s.begin() + ptrdiff_t(i));
  for (; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) cp = c;
    else if ((c >> 5) == 6 && i + 1 < s.size()) { cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F); n = 2; }
    else if ((c >> 4) == 14 && i + 2 < s.size()) {
      cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      n = 3;
    } else if ((c >> 3) == 30 && i + 3 < s.size()) {
      cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
      n = 4;
    }
    i += n;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp > 0xFFFF ? 0xFFFD : cp);
    }
  }
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  utf8ToUtf16Into(s, out);
  return out;
}

int lineweightIndex(int dxfValue) {
  static constexpr int kWeights[24] = {0,  5,  9,  13, 15, 18, 20,  25,  30,  35,  40,  50,
                                       53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  if (dxfValue == -1) return 29;
  if (dxfValue == -2) return 30;
  if (dxfValue < 0) return 31;
  for (int i = 0; i < 24; ++i)
    if (kWeights[i] >= dxfValue) return i;
  return 23;
}

void appendBits(BitWriter& dst, std::span<const uint8_t> src, size_t bitCount) {
  size_t whole = bitCount / 8;
  for (size_t i = 0; i < whole; ++i) dst.RC(src[i]);
  unsigned rest = unsigned(bitCount % 8);
  if (rest) dst.bits(uint64_t(src[whole] >> (8 - rest)), rest);
}

void appendStringStream(BitWriter& data, const BitWriter& strings) {
  size_t size = strings.sizeBits();
  if (size == 0) {
    data.B(false);
    return;
  }
  appendBits(data, strings.bytes(), size);
  if (size >= 0x8000) {
    data.RS(uint16_t(size >> 15));
    data.RS(uint16_t(0x8000 | (size & 0x7FFF)));
  } else {
    data.RS(uint16_t(size));
  }
  data.B(true);
}

const Tag* firstTag(const Tags& b, int code) {
  for (const auto& t : b)
    if (t.code == code) return &t;
  return nullptr;
}
int64_t intOf(const Tags& b, int code, int64_t dflt) {
  const Tag* t = firstTag(b, code);
  if (!t) return dflt;
  if (t->kind == ValueKind::String) return std::atoll(t->s.c_str());
  return engine::asInt(*t);
}
double realOf(const Tags& b, int code, double dflt) {
  const Tag* t = firstTag(b, code);
  if (!t) return dflt;
  if (t->kind == ValueKind::String) return std::atof(t->s.c_str());
  return engine::asDouble(*t);
}
std::string textOf(const Tags& b, int code) {
  const Tag* t = firstTag(b, code);
  return t && t->kind == ValueKind::String ? t->s : std::string();
}
size_t countOf(const Tags& b, int code) {
  size_t n = 0;
  for (const auto& t : b) n += t.code == code;
  return n;
}
std::pair<size_t, size_t> subclassRange(const Tags& b, const char* marker) {
  for (size_t i = 0; i < b.size(); ++i) {
    if (b[i].code == 100 && b[i].s == marker) {
      size_t e = i + 1;
      while (e < b.size() && b[e].code != 100) ++e;
      return {i + 1, e};
    }
  }
  return {0, b.size()};
}

// ---- ObjectWriter -------------------------------------------------------------------------------

ObjectWriter::ObjectWriter(const Tags& body, WriteStreams& s, const WriteContext& ctx, const std::string& type,
                           ObjectWriterBuffers* buffers)
    : b_(buffers ? *buffers : own_), body_(body), s_(s), ctx_(ctx), v_(ctx.version) {
  b_.used.assign(body.size(), 0);
  b_.queue.clear();
  b_.handleQueue.clear();
  b_.side.clear();
  b_.farCursor.clear();
  // A new stamp forgets every cursor of the previous record without clearing the table.
  if (++b_.stamp == 0) {
    b_.cursor.assign(b_.cursor.size(), {0, 0});
    b_.stamp = 1;
  }
  if (type == "MTEXT") defaults_ = Defaults::MText;
  else if (type == "TEXT" || type == "ATTRIB" || type == "ATTDEF") defaults_ = Defaults::Text;
  else if (type == "STYLE") defaults_ = Defaults::Style;
  else if (type == "VPORT") defaults_ = Defaults::Vport;
  else if (type == "VIEW") defaults_ = Defaults::View;
  else if (type == "VIEWPORT") defaults_ = Defaults::Viewport;
  else if (type == "LAYOUT" || type == "PLOTSETTINGS") defaults_ = Defaults::Layout;
  else if (type == "LTYPE") defaults_ = Defaults::Ltype;
  else if (type == "BLOCK_RECORD") defaults_ = Defaults::BlockRecord;
  else if (type == "DICTIONARY") defaults_ = Defaults::Dictionary;
  else if (type.find("DIMENSION") != std::string::npos) defaults_ = Defaults::Dimension;
}

uint32_t& ObjectWriter::cursor(int code) {
  constexpr int kTable = 1072;  // DXF group codes run from 0 to 1071
  if (code >= 0 && code < kTable) {
    if (b_.cursor.size() < size_t(kTable)) b_.cursor.resize(kTable, {0, 0});
    auto& c = b_.cursor[size_t(code)];
    if (c.first != b_.stamp) c = {b_.stamp, 0};
    return c.second;
  }
  for (auto& [k, v] : b_.farCursor)
    if (k == code) return v;
  b_.farCursor.emplace_back(code, 0);
  return b_.farCursor.back().second;
}

void ObjectWriter::marker(const char* subclass) {
  for (size_t i = 0; i < body_.size(); ++i) {
    if (body_[i].code == 100 && body_[i].s == subclass) {
      size_t e = i + 1;
      while (e < body_.size() && body_[e].code != 100) ++e;
      scopeBegin_ = i + 1;
      scopeEnd_ = e;
      return;
    }
  }
  // A subclass the record does not name: keep looking where the previous one pointed.
}

void ObjectWriter::implied(const Tag& t) {
  if (t.code > 0) take(t.code);
}

const Tag* ObjectWriter::take(int code) {
  if (code <= 0) return nullptr;
  const size_t end = std::min(scopeEnd_, body_.size());
  uint32_t& cursorRef = cursor(code);
  const size_t cur = cursorRef;
  auto scan = [&](size_t from, size_t to) -> const Tag* {
    for (size_t i = from; i < to; ++i)
      if (!b_.used[i] && body_[i].code == code) {
        b_.used[i] = 1;
        cursorRef = uint32_t(i + 1);
        return &body_[i];
      }
    return nullptr;
  };
  size_t from = std::max(scopeBegin_, cur);
  if (const Tag* t = scan(std::min(from, end), end)) return t;
  if (const Tag* t = scan(scopeBegin_, std::min(from, end))) return t;
  if (const Tag* t = scan(cur < body_.size() ? cur : 0, body_.size())) return t;
  return scan(0, body_.size());
}

const Tag* ObjectWriter::nextQueued() {
  if (queuePos_ < b_.queue.size()) return &b_.queue[queuePos_++];
  return nullptr;
}

double ObjectWriter::defaultReal(int code) const {
  if (code == 230) return 1.0;  // extrusion z
  switch (defaults_) {
    case Defaults::MText: return code == 11 || code == 44 ? 1.0 : 0.0;
    case Defaults::Text:
    case Defaults::Style: return code == 41 ? 1.0 : 0.0;
    case Defaults::Vport:
      if (code == 42) return 50.0;
      return code == 111 || code == 122 || code == 36 || code == 11 || code == 21 || code == 14 || code == 24 ||
                     code == 15 || code == 25
                 ? 1.0
                 : 0.0;
    case Defaults::View:
      if (code == 42) return 50.0;
      return code == 31 ? 1.0 : 0.0;
    case Defaults::Viewport:
      if (code == 42) return 50.0;
      return code == 111 || code == 122 || code == 36 ? 1.0 : 0.0;
    case Defaults::Layout: return code == 16 || code == 27 || code == 142 || code == 143 || code == 147 ? 1.0 : 0.0;
    case Defaults::Dimension: return code == 41 ? 1.0 : 0.0;
    default: return 0.0;
  }
}

int64_t ObjectWriter::defaultInt(int code) const {
  switch (defaults_) {
    case Defaults::MText: return code == 71 || code == 72 || code == 73 ? 1 : 0;
    case Defaults::Dimension: return code == 71 ? 5 : code == 72 ? 1 : 0;
    case Defaults::Ltype: return code == 72 ? 65 : 0;
    case Defaults::BlockRecord: return code == 280 ? 1 : 0;
    case Defaults::Vport: return code == 72 ? 100 : code == 73 ? 1 : 0;
    case Defaults::Viewport: return code == 72 ? 100 : 0;
    case Defaults::Dictionary: return code == 281 ? 1 : 0;
    default: return 0;
  }
}

int64_t ObjectWriter::intValue(int code) {
  if (code == 0) {
    const Tag* q = nextQueued();
    return q ? engine::asInt(*q) : 0;
  }
  const Tag* t = take(code);
  if (!t) return defaultInt(code);
  if (t->kind == ValueKind::String) return std::atoll(t->s.c_str());
  return engine::asInt(*t);
}

double ObjectWriter::realValue(int code) {
  if (code == 0) {
    const Tag* q = nextQueued();
    return q ? engine::asDouble(*q) : 0.0;
  }
  const Tag* t = take(code);
  if (!t) return defaultReal(code);
  if (t->kind == ValueKind::String) return std::atof(t->s.c_str());
  return engine::asDouble(*t);
}

Point3 ObjectWriter::point3(int code) {
  if (code == 0) {
    Point3 p;
    p.x = realValue(0);
    p.y = realValue(0);
    p.z = realValue(0);
    return p;
  }
  return Point3{realValue(code), realValue(code + 10), realValue(code + 20)};
}

Point2 ObjectWriter::point2(int code) {
  if (code == 0) {
    Point2 p;
    p.x = realValue(0);
    p.y = realValue(0);
    return p;
  }
  return Point2{realValue(code), realValue(code + 10)};
}

void ObjectWriter::text(const std::string& utf8) {
  if (v_ >= Version::R2007) {
    utf8ToUtf16Into(utf8, b_.wide);
    s_.strings.TU(b_.wide);
  }
  else s_.data.T(utf8);
}

std::string ObjectWriter::T(int code) {
  std::string v;
  if (code == 0) {
    const Tag* q = nextQueued();
    if (q && q->kind == ValueKind::String) v = q->s;
  } else if (const Tag* t = take(code)) {
    v = t->kind == ValueKind::String ? t->s : std::string();
  }
  text(v);
  return v;
}

std::string ObjectWriter::longText(int last, int more) {
  std::string v;
  if (more != last)
    while (const Tag* t = take(more)) v += t->s;
  if (const Tag* t = take(last)) v += t->s;
  text(v);
  return v;
}

int16_t ObjectWriter::CMC(int code) {
  int64_t index = 0;
  int64_t rgb = -1;
  if (code == 0) {
    const Tag* q = nextQueued();
    index = q ? engine::asInt(*q) : 7;
  } else {
    const Tag* t = take(code);
    index = t ? engine::asInt(*t) : 256;
    // A true colour belongs to the colour it follows.
    if (t) {
      size_t at = size_t(t - body_.data()) + 1;
      if (at < body_.size() && body_[at].code == 420 && !b_.used[at]) {
        b_.used[at] = 1;
        rgb = body_[at].i & 0xFFFFFF;
      }
    }
  }
  CmColor c;
  c.index = int16_t(index);
  if (rgb >= 0) c.rgb = 0xC2000000u | uint32_t(rgb);
  else if (index == 256) c.rgb = 0xC0000000u;
  else if (index == 0) c.rgb = 0xC1000000u;
  else if (index == 257) c.rgb = 0xC8000000u;  // no colour
  else c.rgb = 0xC3000000u | uint32_t(std::abs(index) & 0xFF);
  s_.data.CMC(c, v_ >= Version::R2007 ? &s_.strings : nullptr);
  return c.index;
}

void ObjectWriter::writeHandle(Handle h, HandleKind k) {
  if (!ctx_.exists(h)) h = 0;
  s_.handles.H(HandleRef{uint8_t(k), h});
}

// The smallest form that holds the scale (INSERT and the table entity's block reference).
void pushInsertScale(ObjectWriter& w, double x, double y, double z) {
  if (x == 1 && y == 1 && z == 1) {
    w.pushInt(3);
  } else if (x == y && x == z) {
    w.pushInt(2);
    w.pushReal(x);
  } else {
    w.pushInt(0);
    w.pushReal(x);
    w.pushReal(y);
    w.pushReal(z);
  }
}

namespace {

// The table a name-valued group refers to, by record type and group code.
const char* tableFor(bool layout, int code) {
  switch (code) {
    case 8: return "LAYER";
    case 6: return layout ? "VIEW" : "LTYPE";
    case 7: return "STYLE";
    case 3: return "DIMSTYLE";
    case 2: return "BLOCK_RECORD";
    case 1: return "BLOCK_RECORD";
    default: return nullptr;
  }
}

}  // namespace

Handle ObjectWriter::H(int code, HandleKind k) {
  Handle h = 0;
  if (code == 0) {
    if (handlePos_ < b_.handleQueue.size()) h = b_.handleQueue[handlePos_++];
  } else if (const Tag* t = take(code)) {
    if (t->kind == ValueKind::String) {
      const char* table = tableFor(defaults_ == Defaults::Layout, code);
      if (table && ctx_.names) h = ctx_.names->find(table, t->s);
    } else {
      h = Handle(t->i);
    }
  }
  writeHandle(h, k);
  return h;
}

Handle ObjectWriter::ownedH(int code, HandleKind k) {
  if (code != 0) return H(code, k);
  Handle h = ownedPos_ < links_.owned.size() ? links_.owned[ownedPos_++] : 0;
  writeHandle(h, k);
  return h;
}

Handle ObjectWriter::dataH(int code) {
  Handle h = 0;
  if (code == 0) {
    if (handlePos_ < b_.handleQueue.size()) h = b_.handleQueue[handlePos_++];
  } else if (const Tag* t = take(code)) {
    h = Handle(t->i);
  }
  s_.data.H(HandleRef{0, h});
  return h;
}

std::string ObjectWriter::bytes(size_t n, int code) {
  std::string v;
  if (code == 0) {
    const Tag* q = nextQueued();
    if (q) v = q->s;
  } else {
    while (v.size() < n) {
      const Tag* t = take(code);
      if (!t) break;
      v += t->s;
    }
  }
  v.resize(n, '\0');
  for (char c : v) s_.data.RC(uint8_t(c));
  return v;
}

// ---- preparation steps --------------------------------------------------------------------------

namespace {

void prepNone(const PrepInput&, ObjectWriter&) {}

void prepLINE(const PrepInput& in, ObjectWriter& w) {
  w.pushInt(realOf(in.body, 30) == 0 && realOf(in.body, 31) == 0);
}

void prep3DFACE(const PrepInput& in, ObjectWriter& w) {
  w.pushInt(intOf(in.body, 70) == 0);
  w.pushInt(realOf(in.body, 30) == 0);
}

void prepSOLID(const PrepInput& in, ObjectWriter& w) { w.pushReal(realOf(in.body, 30)); }

void prepTextCommon(const PrepInput& in, ObjectWriter& w, int valignCode) {
  const Tags& b = in.body;
  double elev = realOf(b, 30);
  int valign = int(intOf(b, valignCode));
  int df = 0;
  if (elev == 0) df |= 1;
  if (!firstTag(b, 11)) df |= 2;
  if (realOf(b, 51) == 0) df |= 4;
  if (realOf(b, 50) == 0) df |= 8;
  if (realOf(b, 41, 1.0) == 1.0) df |= 16;
  if (intOf(b, 71) == 0) df |= 32;
  if (intOf(b, 72) == 0) df |= 64;
  if (valign == 0) df |= 128;
  w.pushInt(df);
  if (!(df & 1)) w.pushReal(elev);
  w.pushReal(realOf(b, 10));
  w.pushReal(realOf(b, 20));
  if (!(df & 128)) w.pushInt(valign);
}
void prepTEXT(const PrepInput& in, ObjectWriter& w) { prepTextCommon(in, w, 73); }
void prepATTRIB(const PrepInput& in, ObjectWriter& w) { prepTextCommon(in, w, 74); }
void prepATTDEF(const PrepInput& in, ObjectWriter& w) {
  prepTextCommon(in, w, 74);
  w.pushInt(0);  // the definition's own version byte
}

void prepInsert(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  pushInsertScale(w, realOf(b, 41, 1), realOf(b, 42, 1), realOf(b, 43, 1));
  bool attribs = !in.plan.links.owned.empty();
  w.pushInt(attribs);
  if (attribs) w.pushInt(int64_t(in.plan.links.owned.size()));
}

void prepVERTEX_2D(const PrepInput& in, ObjectWriter& w) {
  double sw = std::abs(realOf(in.body, 40)), ew = std::abs(realOf(in.body, 41));
  if (sw == ew && sw != 0) {
    w.pushReal(-sw);
  } else {
    w.pushReal(sw);
    w.pushReal(ew);
  }
}

void prepPOLYLINE_2D(const PrepInput& in, ObjectWriter& w) {
  w.pushReal(realOf(in.body, 30));
  w.pushInt(int64_t(in.plan.links.owned.size()));
}
void prepPOLYLINE_3D(const PrepInput& in, ObjectWriter& w) {
  int flags = int(intOf(in.body, 70));
  int curve = 0;
  if (flags & 4) {
    curve = int(intOf(in.body, 75));
    if (curve != 5 && curve != 6) curve = 1;  // curve-fit
  }
  w.pushInt(curve);
  w.pushInt(flags & 1);
  w.pushInt(int64_t(in.plan.links.owned.size()));
}
void prepOwnedCount(const PrepInput& in, ObjectWriter& w) { w.pushInt(int64_t(in.plan.links.owned.size())); }

void prepLWPOLYLINE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  auto [from, to] = subclassRange(b, "AcDbPolyline");
  struct V {
    double x = 0, y = 0, sw = 0, ew = 0, bulge = 0;
    int64_t id = 0;
  };
  // Kept between records: a drawing may hold many polylines.
  thread_local std::vector<V> vs;
  vs.clear();
  bool anyWidth = false, anyBulge = false, anyId = false;
  double constWidth = 0, elevation = 0, thickness = 0;
  Point3 normal{0, 0, 1};
  int flags70 = 0;
  for (size_t i = from; i < to; ++i) {
    const Tag& t = b[i];
    double d = engine::asDouble(t);
    switch (t.code) {
      case 10: vs.push_back(V{}); vs.back().x = d; break;
      case 20: if (!vs.empty()) vs.back().y = d; break;
      case 40: if (!vs.empty()) { vs.back().sw = d; anyWidth = anyWidth || d != 0; } break;
      case 41: if (!vs.empty()) { vs.back().ew = d; anyWidth = anyWidth || d != 0; } break;
      case 42: if (!vs.empty()) { vs.back().bulge = d; anyBulge = anyBulge || d != 0; } break;
      case 91: if (!vs.empty()) { vs.back().id = engine::asInt(t); anyId = anyId || vs.back().id != 0; } break;
      case 43: constWidth = d; break;
      case 38: elevation = d; break;
      case 39: thickness = d; break;
      case 70: flags70 = int(engine::asInt(t)); break;
      case 210: normal.x = d; break;
      case 220: normal.y = d; break;
      case 230: normal.z = d; break;
      default: break;
    }
  }
  // Groups outside the subclass (some writers put elevation or extrusion elsewhere).
  if (from != 0 || to != b.size()) {
    if (const Tag* t = firstTag(b, 38); t && elevation == 0) elevation = engine::asDouble(*t);
  }
  bool odd = !(normal.x == 0 && normal.y == 0 && normal.z == 1);
  int flag = (constWidth != 0 ? 4 : 0) | (elevation != 0 ? 8 : 0) | (thickness != 0 ? 2 : 0) | (odd ? 1 : 0) |
             (anyBulge ? 16 : 0) | (anyId ? 1024 : 0) | (anyWidth ? 32 : 0) | ((flags70 & 1) ? 512 : 0) |
             ((flags70 & 128) ? 256 : 0);
  w.pushInt(flag);
  if (flag & 4) w.pushReal(constWidth);
  if (flag & 8) w.pushReal(elevation);
  if (flag & 2) w.pushReal(thickness);
  if (flag & 1) {
    w.pushReal(normal.x);
    w.pushReal(normal.y);
    w.pushReal(normal.z);
  }
  w.pushInt(int64_t(vs.size()));
  if (flag & 16) w.pushInt(int64_t(vs.size()));
  if (flag & 1024) w.pushInt(int64_t(vs.size()));
  if (flag & 32) w.pushInt(int64_t(vs.size()));
  for (const V& v : vs) {
    w.pushReal(v.x);
    w.pushReal(v.y);
  }
  if (flag & 16)
    for (const V& v : vs) w.pushReal(v.bulge);
  if (flag & 1024)
    for (const V& v : vs) w.pushInt(v.id);
  if (flag & 32)
    for (const V& v : vs) {
      w.pushReal(v.sw);
      w.pushReal(v.ew);
    }
}

void prepSPLINE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  int flags = int(intOf(b, 70));
  size_t nk = countOf(b, 40), nc = countOf(b, 10), nf = countOf(b, 11), nw = countOf(b, 41);
  bool ctrl = nc > 0 || nf == 0;
  w.pushInt(ctrl ? 1 : 2);
  if (w.since(Version::R2013)) {
    w.pushInt(ctrl ? 0 : 1);
    w.pushInt(ctrl ? 15 : 0);
  }
  w.pushInt(intOf(b, 71, 3));
  if (ctrl) {
    w.pushInt((flags & 4) ? 1 : 0);
    w.pushInt((flags & 1) ? 1 : 0);
    w.pushInt((flags & 2) ? 1 : 0);
    w.pushReal(realOf(b, 42, 1e-10));
    w.pushReal(realOf(b, 43, 1e-10));
    w.pushInt(int64_t(nk));
    w.pushInt(int64_t(nc));
    w.pushInt(nw == nc && nc > 0 ? 1 : 0);
  } else {
    for (int c : {12, 22, 32, 13, 23, 33}) w.pushReal(realOf(b, c));
    w.pushInt(int64_t(nf));
  }
}

void prepMTEXT(const PrepInput& in, ObjectWriter& w) {
  w.pushReal(realOf(in.body, 43));
  w.pushReal(realOf(in.body, 42));
  w.pushInt(0);
}

void prepDimension(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  w.pushReal(realOf(b, 11));
  w.pushReal(realOf(b, 21));
  w.pushReal(realOf(b, 31));
  int flags70 = int(intOf(b, 70));
  w.pushInt(((flags70 & 128) ? 0 : 1) | ((flags70 & 32) ? 2 : 0));
  w.pushReal(1);
  w.pushReal(1);
  w.pushReal(1);
  int kind = flags70 & 7;
  if (kind == 6) w.pushInt((flags70 & 64) ? 1 : 0);
  if (kind == 2) {
    w.pushReal(realOf(b, 16));
    w.pushReal(realOf(b, 26));
  }
}

void prepVIEWPORT(const PrepInput& in, ObjectWriter& w) { w.pushInt(int64_t(countOf(in.body, 341))); }

void prepDICTIONARY(const PrepInput& in, ObjectWriter& w) {
  w.pushInt(int64_t(countOf(in.body, 3)));
  w.pushInt(intOf(in.body, 281, 1));
  w.pushInt(intOf(in.body, 280, 0));
}

void prepGROUP(const PrepInput& in, ObjectWriter& w) { w.pushInt(int64_t(countOf(in.body, 340))); }

void prepMLINESTYLE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  w.pushInt(intOf(b, 70));
  for (const auto& t : b) {
    if (t.code != 6) continue;
    std::string n = upper(t.s);
    w.pushInt(n == "BYBLOCK" ? 32766 : 32767);
  }
}

// How the data items of an XRECORD store a value of each group code (the widths of the binary
// form, which are not always those of DXF: 280-289 are single bytes there).
ValueKind xrecordItemKind(int c) {
  if (c < 10 || (c >= 100 && c <= 104) || (c >= 300 && c <= 309) || (c >= 410 && c <= 419) ||
      (c >= 430 && c <= 439) || (c >= 470 && c <= 479) || c == 999 || (c >= 1000 && c <= 1009 && c != 1004))
    return ValueKind::String;
  if (c < 60 || (c >= 140 && c <= 149) || (c >= 460 && c <= 469) || (c >= 1010 && c <= 1059)) return ValueKind::Double;
  if (c >= 90 && c <= 99) return ValueKind::Int32;
  if ((c >= 420 && c <= 429) || (c >= 440 && c <= 459) || c == 1071) return ValueKind::Int32;
  if (c >= 160 && c <= 169) return ValueKind::Int64;
  if (c >= 280 && c <= 299) return ValueKind::Bool;  // one byte
  if ((c >= 310 && c <= 319) || c == 1004) return ValueKind::Binary;
  if (c == 105 || (c >= 320 && c <= 369) || (c >= 390 && c <= 399)) return ValueKind::Handle;
  return ValueKind::Int16;
}

void prepXRECORD(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  auto [from, to] = subclassRange(b, "AcDbXrecord");
  if (from < to && b[from].code == 280) ++from;  // the cloning flag, stored after the data
  BitWriter items(w.version());
  // Points are one item of three reals under the x code; their y and z groups are not items.
  auto pointX = [](int c) {
    return (c >= 10 && c <= 18) || (c >= 110 && c <= 112) || c == 210 || (c >= 1010 && c <= 1013);
  };
  auto pointYZ = [](int c) {
    return (c >= 20 && c <= 38) || (c >= 120 && c <= 132) || c == 220 || c == 230 || (c >= 1020 && c <= 1033);
  };
  for (size_t i = from; i < to; ++i) {
    const Tag& t = b[i];
    if (t.code == 100 || t.code == 5 || t.code == 102) continue;
    if (pointYZ(t.code) && t.code != 38) continue;
    if (pointX(t.code)) {
      double y = 0, z = 0;
      if (i + 1 < to && b[i + 1].code == t.code + 10) y = engine::asDouble(b[++i]);
      if (i + 1 < to && b[i + 1].code == t.code + 20) z = engine::asDouble(b[++i]);
      items.RS(uint16_t(t.code));
      items.RD(engine::asDouble(t));
      items.RD(y);
      items.RD(z);
      continue;
    }
    items.RS(uint16_t(t.code));
    switch (xrecordItemKind(t.code)) {
      case ValueKind::String: {
        if (w.since(Version::R2007)) {
          std::u16string s = utf8ToUtf16(t.s);
          items.RS(uint16_t(s.size()));
          for (char16_t c : s) items.RS(uint16_t(c));
        } else {
          items.RS(uint16_t(t.s.size()));
          items.RC(30);
          for (char c : t.s) items.RC(uint8_t(c));
        }
        break;
      }
      case ValueKind::Double: items.RD(engine::asDouble(t)); break;
      case ValueKind::Int16: items.RS(uint16_t(engine::asInt(t))); break;
      case ValueKind::Int32: items.RL(uint32_t(engine::asInt(t))); break;
      case ValueKind::Int64: items.RLL(uint64_t(engine::asInt(t))); break;
      case ValueKind::Bool: items.RC(uint8_t(engine::asInt(t))); break;
      case ValueKind::Handle:
        items.RLL(t.kind == ValueKind::String ? std::strtoull(t.s.c_str(), nullptr, 16) : uint64_t(t.i));
        break;
      case ValueKind::Binary: {
        size_t n = std::min<size_t>(t.s.size(), 255);
        items.RC(uint8_t(n));
        for (size_t k = 0; k < n; ++k) items.RC(uint8_t(t.s[k]));
        break;
      }
    }
  }
  auto bytes = items.bytes();
  w.pushInt(int64_t(bytes.size()));
  w.pushText(std::string(bytes.begin(), bytes.end()));
}

void prepPLOTSETTINGS(const PrepInput& in, ObjectWriter& w) {
  auto [from, to] = subclassRange(in.body, "AcDbPlotSettings");
  int64_t flags = 0;
  for (size_t i = from; i < to; ++i)
    if (in.body[i].code == 70) {
      flags = engine::asInt(in.body[i]);
      break;
    }
  w.pushInt(flags);
}
void prepLAYOUT(const PrepInput& in, ObjectWriter& w) {
  prepPLOTSETTINGS(in, w);
  w.pushInt(0);  // viewports listed: none (the reader does not need them)
}

void prepLAYER(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  int f70 = int(intOf(b, 70));
  int color = int(intOf(b, 62, 7));
  bool off = color < 0;
  int f = (f70 & 1) | (off ? 2 : 0) | ((f70 & 2) ? 4 : 0) | ((f70 & 4) ? 8 : 0) | (intOf(b, 290, 1) ? 16 : 0);
  f |= lineweightIndex(int(intOf(b, 370, -3))) << 5;
  w.pushInt(f);
  w.pushInt(std::abs(color));
}

void prepSTYLE(const PrepInput& in, ObjectWriter& w) {
  int f = int(intOf(in.body, 70));
  w.pushInt((f & 4) ? 1 : 0);
  w.pushInt((f & 1) ? 1 : 0);
}

void prepLTYPE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  w.pushReal(realOf(b, 40));
  struct Dash {
    double len = 0, x = 0, y = 0, scale = 1, rot = 0;
    int shape = 0, flags = 0;
    std::string text;
  };
  std::vector<Dash> dashes;
  for (const auto& t : b) {
    if (t.code == 49) {
      dashes.push_back(Dash{});
      dashes.back().len = engine::asDouble(t);
      continue;
    }
    if (dashes.empty()) continue;
    Dash& d = dashes.back();
    switch (t.code) {
      case 74: d.flags = int(engine::asInt(t)); break;
      case 75: d.shape = int(engine::asInt(t)); break;
      case 44: d.x = engine::asDouble(t); break;
      case 45: d.y = engine::asDouble(t); break;
      case 46: d.scale = engine::asDouble(t); break;
      case 50: d.rot = engine::asDouble(t); break;
      case 9: d.text = t.s; break;
      default: break;
    }
  }
  // Texts of text dashes live in a 512-byte area (UTF-16 from R2007 on); a dash's shape number
  // gives the offset of its text.
  std::string area(512, '\0');
  size_t at = 0;
  bool anyText = false;
  for (Dash& d : dashes) {
    if (!(d.flags & 2)) continue;
    anyText = true;
    std::u16string s = utf8ToUtf16(d.text);
    if (at + 2 * s.size() + 2 > area.size()) {
      d.flags &= ~2;  // no room left: the dash keeps its length only
      continue;
    }
    d.shape = int(at);
    for (char16_t c : s) {
      area[at++] = char(c & 0xFF);
      area[at++] = char(c >> 8);
    }
    at += 2;
  }
  for (const Dash& d : dashes) {
    w.pushReal(d.len);
    w.pushInt(d.shape);
    w.pushReal(d.x);
    w.pushReal(d.y);
    w.pushReal(d.scale);
    w.pushReal(d.rot);
    w.pushInt(d.flags);
  }
  if (anyText) w.pushText(area);
}

void prepVIEW(const PrepInput& in, ObjectWriter& w) { w.pushInt(intOf(in.body, 70) & 1); }

void prepVPORT(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  w.pushReal(realOf(b, 41, 1) * realOf(b, 40, 1));
  int mode = int(intOf(b, 71));
  w.pushInt(mode & 0xB);
  w.pushInt((mode & 4) ? 1 : 0);
  int icon = int(intOf(b, 74, 3));
  w.pushInt(icon & 1);
  w.pushInt((icon >> 1) & 1);
  w.pushInt(0);
}

void prepBLOCK_RECORD(const PrepInput& in, ObjectWriter& w) {
  static const Tags kNone;
  const Tags& be = in.plan.blockBegin ? in.plan.blockBegin->body : kNone;  // the BLOCK entity's groups
  int f = int(intOf(be, 70));
  bool xref = f & 4, overlay = f & 8;
  w.pushInt(f & 1);
  w.pushInt((f & 2) ? 1 : 0);
  w.pushInt(xref);
  w.pushInt(overlay);
  w.pushInt((f & 32) ? 1 : 0);
  if (!xref && !overlay) w.pushInt(int64_t(in.plan.links.owned.size()));
  w.pushReal(realOf(be, 10));
  w.pushReal(realOf(be, 20));
  w.pushReal(realOf(be, 30));
  w.pushText(textOf(be, 1));
  w.pushInt(0);  // no inserts listed
  w.pushText(textOf(be, 4));
  size_t preview = 0;
  for (const auto& t : in.body)
    if (t.code == 310) preview += t.s.size();
  w.pushInt(int64_t(preview));
}

void prepTableControl(const PrepInput& in, ObjectWriter& w) { (void)in; (void)w; }
void prepDimStyleControl(const PrepInput&, ObjectWriter& w) { w.pushInt(0); }

// ---- the type table -----------------------------------------------------------------------------

using VisitFn = void (*)(ObjectWriter&);

struct WriteType {
  const char* name;   // DWG type name (as the reader's registry spells it)
  uint16_t number;    // fixed type number; 0: through the classes
  RecordKind kind;
  VisitFn visit;
  PrepFn prep;
  const char* marker;  // table entries: the subclass marker
};

using namespace types;
using K = RecordKind;

#define KW_E(num, name, prep) {#name, num, K::Entity, &visit##name<ObjectWriter>, prep, nullptr}
#define KW_O(num, name, prep) {#name, num, K::Object, &visit##name<ObjectWriter>, prep, nullptr}
#define KW_T(num, name, prep, marker) {#name, num, K::TableEntry, &visit##name<ObjectWriter>, prep, marker}
#define KW_TABLE(cnum, control, readLayout, writeLayout, controlPrep, num, name, marker, entryPrep)                  \
  {#control, cnum, K::TableControl, &visit##writeLayout<ObjectWriter>, prep##controlPrep, nullptr}, \
      KW_T(num, name, prep##entryPrep, marker),

const WriteType kTypes[] = {
    KW_E(1, TEXT, prepTEXT),
    KW_E(2, ATTRIB, prepATTRIB),
    KW_E(3, ATTDEF, prepATTDEF),
    KW_E(4, BLOCK, prepNone),
    KW_E(5, ENDBLK, prepNone),
    KW_E(6, SEQEND, prepNone),
    KW_E(7, INSERT, prepInsert),
    KW_E(8, MINSERT, prepInsert),
    KW_E(10, VERTEX_2D, prepVERTEX_2D),
    KW_E(11, VERTEX_3D, prepNone),
    KW_E(12, VERTEX_MESH, prepNone),
    KW_E(13, VERTEX_PFACE, prepNone),
    KW_E(14, VERTEX_PFACE_FACE, prepNone),
    KW_E(15, POLYLINE_2D, prepPOLYLINE_2D),
    KW_E(16, POLYLINE_3D, prepPOLYLINE_3D),
    KW_E(17, ARC, prepNone),
    KW_E(18, CIRCLE, prepNone),
    KW_E(19, LINE, prepLINE),
    KW_E(20, DIMENSION_ORDINATE, prepDimension),
    KW_E(21, DIMENSION_LINEAR, prepDimension),
    KW_E(22, DIMENSION_ALIGNED, prepDimension),
    KW_E(23, DIMENSION_ANG3PT, prepDimension),
    KW_E(24, DIMENSION_ANG2LN, prepDimension),
    KW_E(25, DIMENSION_RADIUS, prepDimension),
    KW_E(26, DIMENSION_DIAMETER, prepDimension),
    KW_E(27, POINT, prepNone),
    KW_E(28, 3DFACE, prep3DFACE),
    KW_E(29, POLYLINE_PFACE, prepOwnedCount),
    KW_E(30, POLYLINE_MESH, prepOwnedCount),
    KW_E(31, SOLID, prepSOLID),
    {"TRACE", 32, K::Entity, &visitSOLID<ObjectWriter>, prepSOLID, nullptr},
    KW_E(34, VIEWPORT, prepVIEWPORT),
    KW_E(35, ELLIPSE, prepNone),
    KW_E(36, SPLINE, prepSPLINE),
    KW_E(40, RAY, prepNone),
    KW_E(41, XLINE, prepNone),
    KW_O(42, DICTIONARY, prepDICTIONARY),
    KW_E(44, MTEXT, prepMTEXT),
    KEL_SYMBOL_TABLES(KW_TABLE)
    KW_O(72, GROUP, prepGROUP),
    KW_O(73, MLINESTYLE, prepMLINESTYLE),
    KW_E(77, LWPOLYLINE, prepLWPOLYLINE),
    KW_O(79, XRECORD, prepXRECORD),
    {"PLACEHOLDER", 80, K::Object, &visitPLACEHOLDER<ObjectWriter>, prepNone, nullptr},
    KW_O(82, LAYOUT, prepLAYOUT),
    {"DICTIONARYWDFLT", 0, K::Object, &visitDICTIONARYWDFLT<ObjectWriter>, prepDICTIONARY, nullptr},
    {"DICTIONARYVAR", 0, K::Object, &visitDICTIONARYVAR<ObjectWriter>, prepNone, nullptr},
    {"PLOTSETTINGS", 0, K::Object, &visitPLOTSETTINGS<ObjectWriter>, prepPLOTSETTINGS, nullptr},
};

const ClassInfo kClassInfo[] = {
    {"ACDBDICTIONARYWDFLT", "AcDbDictionaryWithDefault", false},
    {"DICTIONARYVAR", "AcDbDictionaryVar", false},
    {"PLOTSETTINGS", "AcDbPlotSettings", false},
};

// The core table and the families' writable types, by DWG type name.
const WriteType* writeType(const std::string& name) {
  static const auto* index = [] {
    static std::vector<WriteType> fromFamilies;
    for (const auto& f : familyTypes())
      if (f.write) fromFamilies.push_back({f.typeName, f.number, f.kind, f.write, f.prep ? f.prep : prepNone, nullptr});
    auto* m = new std::unordered_map<std::string, const WriteType*>;
    for (const auto& t : kTypes) m->emplace(t.name, &t);
    for (const auto& t : fromFamilies) m->emplace(t.name, &t);
    return m;
  }();
  auto it = index->find(name);
  return it == index->end() ? nullptr : it->second;
}

}  // namespace

const ClassInfo* classInfoFor(const std::string& dwgType) {
  if (dwgType == "DICTIONARYWDFLT") return &kClassInfo[0];
  if (dwgType == "DICTIONARYVAR") return &kClassInfo[1];
  if (dwgType == "PLOTSETTINGS") return &kClassInfo[2];
  static const auto* fromFamilies = [] {
    auto* m = new std::unordered_map<std::string, ClassInfo>;
    for (const auto& f : familyTypes())
      if (f.number == 0 && f.write) m->emplace(f.typeName, ClassInfo{f.dxfName, f.cppName, f.kind == RecordKind::Entity});
    return m;
  }();
  auto it = fromFamilies->find(dwgType);
  return it == fromFamilies->end() ? nullptr : &it->second;
}

uint16_t fixedTypeNumber(const std::string& dwgType) {
  const WriteType* t = writeType(dwgType);
  return t ? t->number : 0;
}

std::string dwgTypeFor(const Object& o, const std::string& parentPolyline) {
  const std::string& t = o.type;
  if (t == "POLYLINE") {
    int f = int(o.integer(70));
    if (f & 64) return "POLYLINE_PFACE";
    if (f & 16) return "POLYLINE_MESH";
    if (f & 8) return "POLYLINE_3D";
    return "POLYLINE_2D";
  }
  if (t == "VERTEX") {
    if (parentPolyline == "POLYLINE_3D") return "VERTEX_3D";
    if (parentPolyline == "POLYLINE_MESH") return "VERTEX_MESH";
    if (parentPolyline == "POLYLINE_PFACE") {
      int f = int(o.integer(70));
      return (f & 128) && !(f & 64) ? "VERTEX_PFACE_FACE" : "VERTEX_PFACE";
    }
    return "VERTEX_2D";
  }
  if (t == "DIMENSION") {
    switch (o.integer(70) & 7) {
      case 0: return "DIMENSION_LINEAR";
      case 1: return "DIMENSION_ALIGNED";
      case 2: return "DIMENSION_ANG2LN";
      case 3: return "DIMENSION_DIAMETER";
      case 4: return "DIMENSION_RADIUS";
      case 5: return "DIMENSION_ANG3PT";
      case 6: return "DIMENSION_ORDINATE";
      default: return "";
    }
  }
  if (t == "INSERT") return (o.integer(70, 1) > 1 || o.integer(71, 1) > 1) ? "MINSERT" : "INSERT";
  if (t == "ACDBDICTIONARYWDFLT") return "DICTIONARYWDFLT";
  if (t == "ACDBPLACEHOLDER") return "PLACEHOLDER";
  if (writeType(t)) return t;
  if (const FamilyType* f = familyByDxfName(t); f && f->write) return f->typeName;
  return "";
}

// ---- extended data ------------------------------------------------------------------------------

void writeExtendedData(BitWriter& w, const Tags& xdata, const WriteContext& ctx) {
  const bool wide = ctx.version >= Version::R2007;
  size_t i = 0;
  while (i < xdata.size()) {
    if (xdata[i].code != 1001) {
      ++i;
      continue;
    }
    Handle app = ctx.names ? ctx.names->find("APPID", xdata[i].s) : 0;
    ++i;
    BitWriter chunk(ctx.version);
    for (; i < xdata.size() && xdata[i].code != 1001; ++i) {
      const Tag& t = xdata[i];
      switch (t.code) {
        case 1000: {
          chunk.RC(0);
          if (wide) {
            std::u16string s = utf8ToUtf16(t.s);
            if (s.size() > 0xFFFF) s.resize(0xFFFF);
            chunk.RS(uint16_t(s.size()));
            for (char16_t c : s) chunk.RS(uint16_t(c));
          } else {
            size_t n = std::min<size_t>(t.s.size(), 255);
            chunk.RC(uint8_t(n));
            chunk.RS(30);
            for (size_t k = 0; k < n; ++k) chunk.RC(uint8_t(t.s[k]));
          }
          break;
        }
        case 1002:
          chunk.RC(2);
          chunk.RC(t.s == "}" ? 1 : 0);
          break;
        case 1003: {
          Handle h = t.kind == ValueKind::String ? (ctx.names ? ctx.names->find("LAYER", t.s) : 0) : Handle(t.i);
          chunk.RC(3);
          chunk.RLL(__builtin_bswap64(h));  // most significant byte first
          break;
        }
        case 1004: {
          size_t n = std::min<size_t>(t.s.size(), 255);
          chunk.RC(4);
          chunk.RC(uint8_t(n));
          for (size_t k = 0; k < n; ++k) chunk.RC(uint8_t(t.s[k]));
          break;
        }
        case 1005:
          chunk.RC(5);
          chunk.RLL(__builtin_bswap64(t.kind == ValueKind::String ? std::strtoull(t.s.c_str(), nullptr, 16) : uint64_t(t.i)));
          break;
        case 1010: case 1011: case 1012: case 1013: {
          double x = engine::asDouble(t), y = 0, z = 0;
          if (i + 1 < xdata.size() && xdata[i + 1].code == t.code + 10) y = engine::asDouble(xdata[++i]);
          if (i + 1 < xdata.size() && xdata[i + 1].code == t.code + 20) z = engine::asDouble(xdata[++i]);
          chunk.RC(uint8_t(t.code - 1000));
          chunk.RD(x);
          chunk.RD(y);
          chunk.RD(z);
          break;
        }
        case 1040: case 1041: case 1042:
          chunk.RC(uint8_t(t.code - 1000));
          chunk.RD(engine::asDouble(t));
          break;
        case 1070:
          chunk.RC(70);
          chunk.RS(uint16_t(engine::asInt(t)));
          break;
        case 1071:
          chunk.RC(71);
          chunk.RL(uint32_t(engine::asInt(t)));
          break;
        default: break;  // y/z of a point already taken, or a code extended data cannot hold
      }
    }
    auto bytes = chunk.bytes();
    if (!app || !ctx.exists(app) || bytes.empty() || bytes.size() > 0x7FFF) continue;
    w.BS(int16_t(bytes.size()));
    w.H(HandleRef{5, app});
    for (uint8_t b : bytes) w.RC(b);
  }
  w.BS(0);
}

// ---- whole records ------------------------------------------------------------------------------

namespace {

// Appends bits to a byte buffer: the record is put together from its streams in place, a whole
// byte at a time where the streams allow.
class BitSink {
 public:
  BitSink(std::vector<uint8_t>& out, size_t startByte) : out_(out), start_(startByte) {}

  size_t sizeBits() const { return bits_; }

  // `count` bits of `src` from its first bit; the bits past `count` in its last byte are ignored.
  void append(std::span<const uint8_t> src, size_t count) {
    if (count == 0) return;
    const size_t whole = count / 8;
    const unsigned rest = unsigned(count % 8);
    const unsigned shift = unsigned(bits_ % 8);
    if (shift == 0) {
      out_.insert(out_.end(), src.begin(), src.begin() + ptrdiff_t(whole));
      if (rest) out_.push_back(uint8_t(src[whole] & uint8_t(0xFF << (8 - rest))));
    } else {
      uint8_t* last = &out_.back();
      for (size_t i = 0; i < whole; ++i) {
        *last |= uint8_t(src[i] >> shift);
        out_.push_back(uint8_t(src[i] << (8 - shift)));
        last = &out_.back();
      }
      if (rest) {
        const uint8_t b = uint8_t(src[whole] & uint8_t(0xFF << (8 - rest)));
        *last |= uint8_t(b >> shift);
        if (rest + shift > 8) out_.push_back(uint8_t(b << (8 - shift)));
      }
    }
    bits_ += count;
  }

  // The low `count` bits of v, most significant first (count <= 16).
  void put(unsigned v, unsigned count) {
    uint8_t b[2] = {uint8_t(v << (16 - count) >> 8), uint8_t(v << (16 - count))};
    append(b, count);
  }

  // Zero bits to the next byte boundary, then `n` zero bytes.
  void padBytes(size_t n) {
    bits_ = (bits_ + 7) / 8 * 8 + n * 8;
    out_.resize(start_ + bits_ / 8, 0);
  }

 private:
  std::vector<uint8_t>& out_;
  size_t start_;
  size_t bits_ = 0;
};

// The bits an R2007+ string stream adds to the data: the strings, their size and a flag.
size_t stringStreamBits(size_t size) {
  if (size == 0) return 1;
  return size + (size >= 0x8000 ? 32 : 16) + 1;
}

void appendStrings(BitSink& sink, const BitWriter& strings) {
  const size_t size = strings.sizeBits();
  if (size == 0) {
    sink.put(0, 1);
    return;
  }
  sink.append(strings.bytes(), size);
  // Each size word goes low byte first, as the format stores its shorts.
  auto word = [&](uint16_t w) {
    sink.put(w & 0xFF, 8);
    sink.put(w >> 8, 8);
  };
  if (size >= 0x8000) {
    word(uint16_t(size >> 15));
    word(uint16_t(0x8000 | (size & 0x7FFF)));
  } else {
    word(uint16_t(size));
  }
  sink.put(1, 1);
}

void appendMS(std::vector<uint8_t>& out, uint32_t v) {
  while (v >= 0x8000) {
    const uint16_t w = uint16_t(0x8000 | (v & 0x7FFF));
    out.push_back(uint8_t(w));
    out.push_back(uint8_t(w >> 8));
    v >>= 15;
  }
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void appendUMC(std::vector<uint8_t>& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(uint8_t(0x80 | (v & 0x7F)));
    v >>= 7;
  }
  out.push_back(uint8_t(v));
}

// Types whose DXF form gives some angles in degrees where DWG stores radians: their records are
// written from a converted copy (family types list their own angle groups).
bool hasDegreeAngles(const std::string& type) {
  static const auto* kAngleTypes = [] {
    auto* set = new std::unordered_set<std::string>{"ARC",    "INSERT", "TEXT",     "ATTRIB", "ATTDEF",
                                                    "SHAPE",  "DIMENSION", "POINT", "VERTEX", "VIEWPORT",
                                                    "STYLE",  "VPORT",  "VIEW",     "MLINESTYLE"};
    for (const auto& f : familyTypes()) set->insert(f.dxfName);
    return set;
  }();
  return kAngleTypes->count(type) != 0;
}

}  // namespace

bool encodeRecord(const Object& o, const RecordPlan& plan, const WriteContext& ctx, std::vector<uint8_t>& out) {
  out.clear();
  return appendRecord(o, plan, ctx, out);
}

bool appendRecord(const Object& o, const RecordPlan& plan, const WriteContext& ctx, std::vector<uint8_t>& out) {
  const WriteType* wt = writeType(plan.dwgType);
  if (!wt || !plan.type) return false;
  const Version v = ctx.version;
  std::optional<EncodeScratch> ownScratch;
  EncodeScratch& sc = ctx.scratch ? *ctx.scratch : ownScratch.emplace(v);
  const std::string& angleType = wt->kind == K::TableEntry ? plan.dwgType : o.type;
  const Tags* bodyPtr = plan.useBody ? &plan.body : &o.body;
  if (hasDegreeAngles(angleType)) {
    sc.converted = *bodyPtr;  // assigned over the previous record's copy, reusing its storage
    anglesToRadians(angleType, sc.converted);
    bodyPtr = &sc.converted;
  }
  const Tags& body = *bodyPtr;
  WriteStreams& s = sc.streams;
  s.data.clear();
  s.strings.clear();
  s.handles.clear();
  s.data.setVersion(v);
  s.strings.setVersion(v);
  s.handles.setVersion(v);
  BitWriter& d = s.data;
  d.OT(plan.type);
  d.H(HandleRef{0, o.handle});
  writeExtendedData(d, o.xdata, ctx);

  static const std::string kDictionary = "DICTIONARY";
  ObjectWriter io(body, s, ctx,
                  wt->kind == K::Entity ? o.type : plan.dwgType == "DICTIONARYWDFLT" ? kDictionary : plan.dwgType,
                  &sc.writer);
  io.links() = plan.links;

  std::vector<Handle>& reactors = sc.reactors;
  reactors.clear();
  for (Handle r : o.reactors)
    if (ctx.exists(r)) reactors.push_back(r);
  const bool xdict = ctx.exists(o.xdict);

  if (wt->kind == K::Entity) {
    // Graphics the entity carries for applications that cannot draw it.
    std::string& graphics = sc.graphics;
    graphics.clear();
    if (ctx.proxyGraphics) {
      auto [from, to] = subclassRange(body, "AcDbEntity");
      for (size_t i = from; i < to; ++i)
        if (body[i].code == 310) graphics += body[i].s;
      if (!firstTag(body, 92)) graphics.clear();
      // Images and wipeouts are drawn from their own data by every reader, and one common reader
      // rejects R2013 entity records that carry graphics: theirs are not written.
      for (const auto& f : imageFamily())
        if (o.type == f.dxfName) graphics.clear();
    }
    d.B(!graphics.empty());
    if (!graphics.empty()) {
      d.BLL(graphics.size());
      appendBits(d, {reinterpret_cast<const uint8_t*>(graphics.data()), graphics.size()}, graphics.size() * 8);
    }
    d.BB(plan.entmode);
    d.BL(int32_t(reactors.size()));
    d.B(!xdict);
    if (v >= Version::R2013) d.B(false);  // no binary data store entry
    io.marker("AcDbEntity");
    // Plain names, not structured bindings: the lambda below captures them.
    const auto range = subclassRange(body, "AcDbEntity");
    const size_t from = range.first, to = range.second;
    auto local = [&](int code) -> const Tag* {
      for (size_t i = from; i < to; ++i)
        if (body[i].code == code) return &body[i];
      return nullptr;
    };
    EnColor c;
    const Tag* color = local(62);
    c.index = int16_t(color ? engine::asInt(*color) : 256);
    if (c.index < 0) c.index = int16_t(-c.index);  // an entity cannot be "off"; keep its colour
    if (const Tag* rgb = local(420)) {
      c.flags = 0x8000;
      c.rgb = 0xC2000000u | uint32_t(rgb->i & 0xFFFFFF);
    }
    d.ENC(c);
    const Tag* lts = local(48);
    d.BD(lts ? engine::asDouble(*lts) : 1.0);
    const Tag* lt = local(6);
    std::string ltName = lt && lt->kind == ValueKind::String ? upper(lt->s) : std::string();
    Handle ltHandle = 0;
    uint8_t ltFlags = 0;
    if (lt && lt->kind == ValueKind::Handle) {
      ltHandle = Handle(lt->i);
      ltFlags = ctx.exists(ltHandle) ? 3 : 0;
    } else if (ltName.empty() || ltName == "BYLAYER") {
      ltFlags = 0;
    } else if (ltName == "BYBLOCK") {
      ltFlags = 1;
    } else if (ltName == "CONTINUOUS") {
      ltFlags = 2;
    } else {
      ltHandle = ctx.names ? ctx.names->find("LTYPE", lt->s) : 0;
      ltFlags = ctx.exists(ltHandle) ? 3 : 0;
    }
    d.BB(ltFlags);
    const Tag* ps = local(390);
    const bool hasPs = ps && ps->kind == ValueKind::Handle && ctx.exists(Handle(ps->i));
    d.BB(hasPs ? 3 : 0);
    const Tag* mat = local(347);
    const bool hasMat = mat && mat->kind == ValueKind::Handle && ctx.exists(Handle(mat->i));
    if (v >= Version::R2007) {
      d.BB(hasMat ? 3 : 0);
      d.RC(0);  // shadow flags
    }
    if (v >= Version::R2010) {
      d.B(false);
      d.B(false);
      d.B(false);
    }
    const Tag* inv = local(60);
    d.BS(int16_t(inv ? engine::asInt(*inv) & 1 : 0));
    const Tag* lw = local(370);
    d.RC(uint8_t(lineweightIndex(lw ? int(engine::asInt(*lw)) : -1)));

    if (plan.entmode == 0) io.writeHandle(plan.owner, HandleKind::SoftPointer);
    for (Handle r : reactors) io.writeHandle(r, HandleKind::SoftPointer);
    if (xdict) io.writeHandle(o.xdict, HandleKind::HardOwner);
    // The layer: by name or handle; an entity on a layer the table lacks goes to layer "0".
    Handle layer = 0;
    if (const Tag* lt8 = local(8)) {
      if (lt8->kind == ValueKind::String) layer = ctx.names ? ctx.names->find("LAYER", lt8->s) : 0;
      else layer = Handle(lt8->i);
    }
    if (!ctx.exists(layer) && ctx.names) layer = ctx.names->find("LAYER", "0");
    io.writeHandle(layer, HandleKind::HardPointer);
    if (ltFlags == 3) io.writeHandle(ltHandle, HandleKind::HardPointer);
    if (v >= Version::R2007 && hasMat) io.writeHandle(Handle(mat->i), HandleKind::HardPointer);
    if (hasPs) io.writeHandle(Handle(ps->i), HandleKind::HardPointer);
  } else {
    d.BL(int32_t(reactors.size()));
    d.B(!xdict);
    if (v >= Version::R2013) d.B(false);
    io.writeHandle(plan.owner, HandleKind::SoftPointer);
    for (Handle r : reactors) io.writeHandle(r, HandleKind::SoftPointer);
    if (xdict) io.writeHandle(o.xdict, HandleKind::HardOwner);
  }

  if (wt->kind == K::TableEntry) {
    io.marker("AcDbSymbolTableRecord");
    io.marker(wt->marker);
    io.T(2);
    int flags = int(intOf(body, 70));
    if (v < Version::R2007) {
      s.data.B((flags & 64) != 0);
      s.data.BS(0);  // xref index + 1
      s.data.B((flags & 16) != 0);
    } else {
      // From R2007 on one short says whether the entry comes from a resolved external reference.
      s.data.BS(int16_t((flags & 16) ? 256 : 0));
    }
    io.writeHandle(0, HandleKind::HardPointer);  // the xref block
  }

  wt->prep(PrepInput{o, body, plan}, io);
  wt->visit(io);
  // From R2013 on a layer ends with its visual style.
  if (plan.dwgType == "LAYER" && v >= Version::R2013) io.H(348, HandleKind::HardPointer);
  // From R2010 on an attribute ends its own part with a byte (duplicate-record handling, 0).
  if (plan.dwgType == "ATTRIB" && v >= Version::R2010) s.data.RC(0);
  if (io.failed()) return false;

  // Assemble: data (+ strings) | handles, then size, handle-stream size and CRC around it. The
  // sizes are known before the bits are joined, so the record goes straight into `out`.
  const size_t endBit = d.sizeBits() + (v >= Version::R2007 ? stringStreamBits(s.strings.sizeBits()) : 0);
  // Zero padding after the handle stream of a few types: conforming readers stop at the handles
  // they know, and one widespread reader that misreads these records' layout (extra flag bits in
  // text styles and application ids, handles read from the data of layouts) stays inside them.
  const size_t pad = plan.dwgType == "LAYOUT" ? 256 : (plan.dwgType == "STYLE" || plan.dwgType == "APPID") ? 24 : 0;
  const size_t totalBits = endBit + s.handles.sizeBits();
  const size_t size = pad ? (totalBits + 7) / 8 + pad : (totalBits + 7) / 8;
  const size_t start = out.size();
  appendMS(out, uint32_t(size));
  if (v >= Version::R2010) appendUMC(out, size * 8 - endBit);
  BitSink rec(out, out.size());
  rec.append(d.bytes(), d.sizeBits());
  if (v >= Version::R2007) appendStrings(rec, s.strings);
  rec.append(s.handles.bytes(), s.handles.sizeBits());
  if (pad) rec.padBytes(pad);
  const uint16_t crc = crc16(kCrc16Seed, out.data() + start, out.size() - start);
  out.push_back(uint8_t(crc & 0xFF));
  out.push_back(uint8_t(crc >> 8));
  return true;
}

}  // namespace kel::dwg
