// Raw records copied or turned into proxies: bit surgery on records the reader could not decode.
#include "engine/dwg/raw_records.h"

#include "engine/dwg/crc.h"
#include "engine/dwg/families.h"
#include "engine/dwg/objects_io.h"
#include "engine/model/tag.h"

namespace kel::dwg {

using engine::Tag;
using engine::ValueKind;

namespace {

// Copies the bits [from, to) of `r`'s buffer to `w`.
void copyBits(BitReader& r, size_t from, size_t to, BitWriter& w) {
  r.setPositionBits(from);
  size_t n = to > from ? to - from : 0;
  for (; n >= 32; n -= 32) w.bits(r.bits(32), 32);
  if (n) w.bits(r.bits(unsigned(n)), unsigned(n));
}

// Frames the bits of `rec` (data then handles, `dataBits` long data) as an AC1027 record.
void frame(BitWriter& rec, size_t dataBits, std::vector<uint8_t>& out) {
  rec.alignByte();  // the padding belongs to the handle stream
  auto bytes = rec.bytes();
  BitWriter head(Version::R2013);
  head.MS(uint32_t(bytes.size()));
  head.UMC(bytes.size() * 8 - dataBits);
  auto h = head.bytes();
  out.assign(h.begin(), h.end());
  out.insert(out.end(), bytes.begin(), bytes.end());
  uint16_t crc = crc16(kCrc16Seed, out.data(), out.size());
  out.push_back(uint8_t(crc & 0xFF));
  out.push_back(uint8_t(crc >> 8));
}

// Decodes the common part of a raw record; false when even that is out of reach.
bool layoutOf(std::span<const uint8_t> raw, Version from, const std::vector<DwgClass>& classes, DecodedObject& o) {
  DecodeContext ctx{from, 30, &classes};
  decodeObject(raw, ctx, o);
  const auto& l = o.layout;
  if (o.typeName.empty() || !l.ownData || l.handleStart > l.end || l.ownData > l.handleStart) return false;
  if (l.ownHandles < l.handleStart || l.ownHandles > l.end) return false;
  return o.kind == RecordKind::Entity || o.kind == RecordKind::Object;
}

int dxfCodeOf(uint8_t code) {
  switch (code) {
    case 2: return 350;  // soft owner
    case 3: return 360;  // hard owner
    case 5: return 340;  // hard pointer
    default: return 330;  // soft pointers, and the relative forms
  }
}

uint8_t handleCodeOf(int dxf) {
  switch (dxf / 10 * 10) {
    case 350: return 2;
    case 360: return 3;
    case 340: return 5;
    default: return 4;
  }
}

void binaryTags(int code, const std::string& bytes, Tags& out) {
  for (size_t pos = 0; pos < bytes.size(); pos += 127) {
    Tag t;
    t.code = int16_t(code);
    t.kind = ValueKind::Binary;
    t.s = bytes.substr(pos, 127);
    out.push_back(std::move(t));
  }
}

// Where the string stream of an R2007+ data stream ending at `end` begins (its presence flag
// when there are no strings); `end` itself when the layout does not add up.
size_t stringStreamStart(const BitReader& src, size_t begin, size_t end) {
  if (end <= begin) return end;
  BitReader r = src;
  r.clearError();
  r.setPositionBits(end - 1);
  if (!r.B()) return end - 1;
  if (end - 1 < begin + 16) return end;
  size_t pos = end - 17;
  r.setPositionBits(pos);
  size_t size = r.RS();
  if (size & 0x8000) {
    if (pos < begin + 16) return end;
    pos -= 16;
    r.setPositionBits(pos);
    size = (size & 0x7FFF) | (size_t(r.RS()) << 15);
  }
  if (r.error() || size > pos - begin) return end;
  return pos - size;
}

}  // namespace

bool versionOfDrawing(int n, Version* v) {
  switch (n) {
    case 1012: *v = Version::R13; return true;
    case 1014: *v = Version::R14; return true;
    case 1015: *v = Version::R2000; return true;
    case 1018: *v = Version::R2004; return true;
    case 1021: *v = Version::R2007; return true;
    case 1024: *v = Version::R2010; return true;
    case 1027: *v = Version::R2013; return true;
    case 1032: *v = Version::R2018; return true;
    default: return false;
  }
}

uint32_t formatCode(Version v) {
  switch (v) {
    case Version::R13: return 19;
    case Version::R14: return 21;
    case Version::R2000: return 23;
    case Version::R2004: return 25;
    case Version::R2007: return 27;
    case Version::R2010: return 29;
    case Version::R2013: return 31;
    case Version::R2018: return 33;
  }
  return 31;
}

std::vector<DwgClass> classesOf(const std::vector<Tags>& classTags) {
  std::vector<DwgClass> out;
  for (const Tags& c : classTags) {
    DwgClass k;
    for (const Tag& t : c) {
      if (t.code == 1) k.dxfName = t.s;
      else if (t.code == 2) k.cppName = t.s;
      else if (t.code == 3) k.appName = t.s;
      else if (t.code == 90) k.proxyFlags = int(engine::asInt(t));
      else if (t.code == 280) k.wasZombie = engine::asInt(t) != 0;
      else if (t.code == 281) k.isEntity = engine::asInt(t) != 0;
    }
    k.number = int(500 + out.size());
    out.push_back(std::move(k));
  }
  return out;
}

bool reframeRecord(std::span<const uint8_t> raw, Version from, const std::vector<DwgClass>& classes, uint16_t newType,
                   std::vector<uint8_t>& out) {
  if (from < Version::R2007) return false;  // texts inline: the data cannot be moved as it is
  DecodedObject o;
  if (!layoutOf(raw, from, classes, o)) return false;
  const auto& l = o.layout;
  const bool entity = o.kind == RecordKind::Entity;
  BitReader r(raw, from);
  BitWriter w(Version::R2013);
  w.OT(newType);
  size_t at = l.afterType;
  // R2007 gives the graphics' size as a 32-bit value, later releases as a 64-bit bit-coded one.
  if (entity && from == Version::R2007 && l.previewBytes) {
    copyBits(r, at, l.previewAt - 32, w);
    w.BLL(l.previewBytes);
    at = l.previewAt;
  }
  copyBits(r, at, l.afterXdicFlag, w);
  at = l.afterXdicFlag;
  if (from < Version::R2013) w.B(false);  // no binary data store entry
  if (entity && from < Version::R2010) {
    copyBits(r, at, l.afterShadow, w);
    at = l.afterShadow;
    w.B(false);  // no full, face or edge visual style
    w.B(false);
    w.B(false);
  }
  // The record must end on a byte boundary. The bits that make it so go between the type's own
  // data and its string stream (found from the end of the data, where readers look for it):
  // padding after the handles would read as extra null references to anyone who reads the
  // handles to the end.
  const size_t strings = stringStreamStart(r, l.ownData, l.handleStart);
  copyBits(r, at, strings, w);
  const size_t rest = (l.handleStart - strings) + (l.end - l.handleStart);
  for (size_t pad = (8 - (w.sizeBits() + rest) % 8) % 8; pad; --pad) w.B(false);
  copyBits(r, strings, l.handleStart, w);
  const size_t dataBits = w.sizeBits();
  copyBits(r, l.handleStart, l.end, w);
  if (r.error()) return false;
  frame(w, dataBits, out);
  return true;
}

bool proxyFromRaw(std::span<const uint8_t> raw, Version from, uint32_t format, const std::vector<DwgClass>& classes,
                  int32_t classId, ProxyRecord& out) {
  out = ProxyRecord{};
  DecodedObject o;
  if (!layoutOf(raw, from, classes, o)) return false;
  const auto& l = o.layout;
  out.entity = o.kind == RecordKind::Entity;
  out.classId = classId;
  out.format = format;
  BitReader r(raw, from);
  if (out.entity && l.previewBytes) {
    r.setPositionBits(l.previewAt);
    for (size_t i = 0; i < l.previewBytes && !r.error(); ++i) out.graphics += char(r.RC());
  }
  BitWriter w(from);
  copyBits(r, l.ownData, l.handleStart, w);
  out.dataBits = w.sizeBits();
  auto bytes = w.bytes();
  out.data.assign(bytes.begin(), bytes.end());
  out.dataHasStrings = from >= Version::R2007;
  // The type's own references: everything after the common handles. Padding at the end reads
  // as nothing (fewer than 8 bits) or as null references, which are kept as they are.
  r.setPositionBits(l.ownHandles);
  r.limitBits(l.end);
  while (r.remainingBits() >= 8) {
    HandleRef h = r.H();
    if (r.error()) break;
    Handle abs = absoluteHandle(h, o.handle);
    out.handles.emplace_back(dxfCodeOf(h.code), h.value || h.code > 5 ? abs : 0);
  }
  return true;
}

bool proxyOfRawRecord(std::span<const uint8_t> raw, uint16_t dwgType, Version from, uint32_t maint,
                      const std::vector<DwgClass>& classes, ProxyRecord& out) {
  const uint32_t format = formatCode(from) | maint << 16;
  if (dwgType >= 500)
    return size_t(dwgType - 500) < classes.size() && proxyFromRaw(raw, from, format, classes, dwgType, out);
  // Later releases frame a proxy's data with its own string stream: not taken apart here.
  if ((dwgType != 498 && dwgType != 499) || from >= Version::R2007) return false;
  if (!proxyFromRaw(raw, from, format, classes, 0, out)) return false;
  BitReader r(out.data.data(), out.data.size());
  int32_t cls = r.BL();
  if (cls == dwgType) cls = r.BL();  // R13 files store the proxy's own type number first
  const uint32_t dataFormat = from >= Version::R2000 ? uint32_t(r.BL()) : format;
  if (r.error() || r.positionBits() > out.dataBits || cls < 500) return false;
  out.classId = cls;
  out.format = dataFormat;
  BitWriter w;
  copyBits(r, r.positionBits(), out.dataBits, w);
  out.dataBits = w.sizeBits();
  auto bytes = w.bytes();
  out.data.assign(bytes.begin(), bytes.end());
  return true;
}

bool proxyFromTags(const Object& o, ProxyRecord& out) {
  out = ProxyRecord{};
  out.entity = o.type == "ACAD_PROXY_ENTITY";
  bool haveClass = false, haveData = false;
  int target = 0;  // where 310 chunks go: 1 graphics, 2 data, 3 strings (311)
  std::string dataBytes, stringBytes;
  size_t stringBits = 0;
  int64_t dwgVersion = -1, maint = 0;
  bool ended = false;
  for (const Tag& t : o.body) {
    switch (t.code) {
      case 91: out.classId = int32_t(engine::asInt(t)); haveClass = true; break;
      case 95: out.format = uint32_t(engine::asInt(t)); break;
      case 71: dwgVersion = engine::asInt(t); break;  // newer files split the format in two
      case 97: maint = engine::asInt(t); break;
      case 70: out.dxfData = engine::asInt(t) != 0; break;
      case 92: case 160: target = 1; break;
      case 93: case 161: out.dataBits = size_t(engine::asInt(t)); target = 2; haveData = true; break;
      case 162: stringBits = size_t(engine::asInt(t)); target = 3; break;
      case 310:
        if (target == 1) out.graphics += t.s;
        else if (target == 2) dataBytes += t.s;
        break;
      case 311:
        if (target == 3) stringBytes += t.s;
        break;
      case 94: ended = true; break;
      case 330: case 340: case 350: case 360:
        if (!ended && haveData) out.handles.emplace_back(t.code, t.kind == ValueKind::Handle ? Handle(t.i) : 0);
        break;
      default: break;
    }
  }
  if (dwgVersion >= 0 && !out.format) out.format = uint32_t(dwgVersion) | uint32_t(maint) << 16;
  if (!haveClass || !haveData || out.dxfData || out.dataBits > dataBytes.size() * 8) return false;
  out.data.assign(dataBytes.begin(), dataBytes.end());
  out.data.resize((out.dataBits + 7) / 8);
  if (stringBits && stringBits <= stringBytes.size() * 8) {
    // Strings given apart from the data: they become the data's own string stream.
    BitWriter w(Version::R2013);
    BitReader d(out.data.data(), out.data.size());
    copyBits(d, 0, out.dataBits, w);
    BitReader s(reinterpret_cast<const uint8_t*>(stringBytes.data()), stringBytes.size());
    copyBits(s, 0, stringBits, w);
    if (stringBits >= 0x8000) {
      w.RS(uint16_t(stringBits >> 15));
      w.RS(uint16_t(0x8000 | (stringBits & 0x7FFF)));
    } else {
      w.RS(uint16_t(stringBits));
    }
    w.B(true);
    out.dataBits = w.sizeBits();
    auto b = w.bytes();
    out.data.assign(b.begin(), b.end());
    out.dataHasStrings = true;
  } else {
    // Data of a format with separate strings carries its string stream (or its empty flag) at its end.
    out.dataHasStrings = (out.format & 0xFFFF) >= formatCode(Version::R2007);
  }
  return true;
}

size_t stringSectionBits(const ProxyRecord& p) {
  if (!p.dataHasStrings || p.dataBits > p.data.size() * 8) return 0;
  BitReader r(p.data.data(), p.data.size(), Version::R2013);
  return p.dataBits - stringStreamStart(r, 0, p.dataBits);
}

void proxyTags(const ProxyRecord& p, Tags& out) {
  out.push_back(Tag::str(100, p.entity ? "AcDbProxyEntity" : "AcDbProxyObject"));
  out.push_back(Tag::integer(90, p.entity ? 498 : 499));
  out.push_back(Tag::integer(91, p.classId));
  if (p.entity && !p.graphics.empty()) {
    out.push_back(Tag::integer(92, int64_t(p.graphics.size())));
    binaryTags(310, p.graphics, out);
  }
  out.push_back(Tag::integer(93, int64_t(p.dataBits)));
  binaryTags(310, std::string(p.data.begin(), p.data.end()), out);
  for (const auto& [code, h] : p.handles) out.push_back(Tag::handle(code, h));
  out.push_back(Tag::integer(94, 0));
  out.push_back(Tag::integer(95, int64_t(p.format)));
  out.push_back(Tag::integer(70, p.dxfData ? 1 : 0));
}

bool encodeProxy(const Object& o, const RecordPlan& plan, const WriteContext& ctx, const ProxyRecord& p,
                 std::vector<uint8_t>& out) {
  if (p.dxfData || p.dataBits > p.data.size() * 8) return false;
  // The common part comes from the writer's own encoding of a record with no own part (an
  // end-of-sequence entity, a placeholder object) under the proxy's type number.
  RecordPlan common = plan;
  common.dwgType = p.entity ? "SEQEND" : "PLACEHOLDER";
  common.type = p.entity ? 498 : 499;
  common.links = {};
  common.useBody = true;
  common.body.clear();
  {
    const auto fromTo = subclassRange(o.body, "AcDbEntity");
    size_t from = fromTo.first, to = fromTo.second;
    if (!p.entity) from = to = 0;
    if (p.entity && from == 0 && to == o.body.size()) to = 0;  // no entity part at all
    if (from > 0) common.body.push_back(o.body[from - 1]);
    for (size_t i = from; i < to; ++i)
      if (o.body[i].code != 92 && o.body[i].code != 310) common.body.push_back(o.body[i]);
  }
  // A proxy entity is written without its graphics: one of the two common open readers takes
  // graphics of that size from the proxy's own data as well and rejects the file when the data
  // is shorter. The graphics stay in the drawing (and in a DXF save).
  std::vector<uint8_t> rec;
  WriteContext c = ctx;
  c.proxyGraphics = false;
  if (!encodeRecord(o, common, c, rec)) return false;
  // Read the frame back: MS size, then the record the decoder takes.
  BitReader head(rec, Version::R2013);
  head.MS();
  const size_t start = head.positionBits() / 8;
  if (rec.size() < start + 2) return false;
  std::span<const uint8_t> body(rec.data() + start, rec.size() - start - 2);
  DecodedObject d;
  if (!layoutOf(body, Version::R2013, {}, d)) return false;
  BitReader r(body, Version::R2013);
  r.UMC();
  const size_t typeAt = r.positionBits();

  BitWriter w(Version::R2013);
  copyBits(r, typeAt, d.layout.ownData, w);
  w.BL(p.classId);
  w.BL(int32_t(p.format));
  w.B(false);  // the data is in DWG form
  BitReader data(p.data.data(), p.data.size());
  copyBits(data, 0, p.dataBits, w);
  if (!p.dataHasStrings) w.B(false);  // no strings apart
  const size_t dataBits = w.sizeBits();
  copyBits(r, d.layout.handleStart, d.layout.ownHandles, w);
  for (const auto& [code, h] : p.handles) w.H(HandleRef{handleCodeOf(code), ctx.exists(h) ? h : 0});
  if (r.error()) return false;
  frame(w, dataBits, out);
  return true;
}

}  // namespace kel::dwg
