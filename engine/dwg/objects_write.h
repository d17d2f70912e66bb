// The writing side of the per-type descriptions, and the encoding of one whole object record.
//
// ObjectWriter has the member names of ObjectReader, so the descriptions of objects_types.h run
// unchanged over it; it turns a record's DXF tags into the data, string and handle streams of an
// AC1027 object:
//   code > 0   the value is taken from the record's next unused tag with that code, looked for
//              first in the subclass the description last named (marker) and then anywhere;
//              a missing tag gives the format's usual default (0, an empty text, extrusion 0,0,1);
//   code == 0  the value is structural (a count, a flag word, a value DXF spells differently) and
//              comes from the queue a type's preparation step filled in description order;
//   implied    marks one tag of that code as used (the reader derives it from other values);
//   handles    a handle-valued tag is written as is; a name-valued one (layer 8, linetype 6,
//              style 7, dimension style 3, block 2 ...) is looked up in the drawing's tables;
//              handles with code 0 and the linking handles (owned lists, block begin/end,
//              SEQEND) come from the record plan.
// Handles that point at records the file does not contain are written as null references.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/dwg/objects.h"
#include "engine/dwg/objects_io.h"
#include "engine/model/drawing.h"

namespace kel::dwg {

using kel::engine::Object;

// Table entry names -> handles (case-insensitive), for the name-valued groups of DXF.
class NameIndex {
 public:
  void add(const std::string& table, const std::string& name, Handle h);
  Handle find(const std::string& table, const std::string& name) const;

 private:
  std::unordered_map<std::string, Handle> map_;
};

// A set of handles built once and asked often: a bit per handle when the handles are dense enough
// (the usual case: a drawing numbers its records from 1 up), else a sorted list.
class HandleSet {
 public:
  HandleSet() = default;
  explicit HandleSet(std::vector<Handle> handles);
  bool contains(Handle h) const {
    if (!bits_.empty()) return h < bits_.size() * 64 && (bits_[h >> 6] >> (h & 63) & 1);
    return std::binary_search(sorted_.begin(), sorted_.end(), h);
  }
  size_t count(Handle h) const { return contains(h) ? 1 : 0; }
  void erase(Handle h);

 private:
  std::vector<uint64_t> bits_;
  std::vector<Handle> sorted_;
};

struct EncodeScratch;

// What the whole file knows while one record is encoded.
struct WriteContext {
  Version version = Version::R2013;
  const NameIndex* names = nullptr;
  // Handles of the records the file holds; references to anything else become null.
  const HandleSet* present = nullptr;
  bool proxyGraphics = true;  // write the graphics an entity carries (92/310 groups)
  // Buffers reused from record to record when a whole file is encoded (null: each record has its own).
  EncodeScratch* scratch = nullptr;

  bool exists(Handle h) const { return h && (!present || present->contains(h)); }
};

// The three streams of an object under construction.
struct WriteStreams {
  explicit WriteStreams(Version v) : data(v), strings(v), handles(v) {}
  BitWriter data;
  BitWriter strings;
  BitWriter handles;
};

// The working storage of an ObjectWriter, kept from one record to the next.
struct ObjectWriterBuffers {
  std::vector<uint8_t> used;                            // per body tag: taken already
  std::vector<std::pair<uint32_t, uint32_t>> cursor;    // per group code: (record stamp, next index)
  std::vector<std::pair<int, uint32_t>> farCursor;      // codes beyond the table (not in DXF proper)
  uint32_t stamp = 0;
  Tags queue;
  std::vector<Handle> handleQueue;
  Tags side;
  std::u16string wide;  // a text being converted to UTF-16
};

class ObjectWriter {
 public:
  ObjectWriter(const Tags& body, WriteStreams& s, const WriteContext& ctx, const std::string& type,
               ObjectWriterBuffers* buffers = nullptr);

  // Structural values, in the order the description asks for them.
  void push(const Tag& t) { b_.queue.push_back(t); }
  void pushInt(int64_t v) { b_.queue.push_back(Tag::integer(0, v)); }
  void pushReal(double v) { b_.queue.push_back(Tag::real(0, v)); }
  void pushText(std::string v) { b_.queue.push_back(Tag::str(0, std::move(v))); }
  void pushHandle(Handle h) { b_.handleQueue.push_back(h); }
  // Linking handles the plan supplies (owned lists, block begin/end, SEQEND, layout records).
  ObjectLinks& links() { return links_; }

  Version version() const { return v_; }
  bool since(Version x) const { return v_ >= x; }
  bool until(Version x) const { return v_ <= x; }
  bool between(Version a, Version b) const { return v_ >= a && v_ <= b; }
  static constexpr bool reading = false;

  void marker(const char* subclass);
  void implied(const Tag& t);
  Tags& side() { return b_.side; }

  bool B(int code) { bool v = intValue(code) != 0; s_.data.B(v); return v; }
  uint8_t BB(int code) { auto v = uint8_t(intValue(code)); s_.data.BB(v); return v; }
  uint8_t B3(int code) { auto v = uint8_t(intValue(code)); s_.data.B3(v); return v; }
  int16_t BS(int code) { auto v = int16_t(intValue(code)); s_.data.BS(v); return v; }
  int32_t BL(int code) { auto v = int32_t(intValue(code)); s_.data.BL(v); return v; }
  uint64_t BLL(int code) { auto v = uint64_t(intValue(code)); s_.data.BLL(v); return v; }
  uint8_t RC(int code) { auto v = uint8_t(intValue(code)); s_.data.RC(v); return v; }
  uint16_t RS(int code) { auto v = uint16_t(intValue(code)); s_.data.RS(v); return v; }
  uint32_t RL(int code) { auto v = uint32_t(intValue(code)); s_.data.RL(v); return v; }
  uint64_t bits(unsigned n, int code) { auto v = uint64_t(intValue(code)); s_.data.bits(v, n); return v; }
  double BD(int code) { double v = realValue(code); s_.data.BD(v); return v; }
  double RD(int code) { double v = realValue(code); s_.data.RD(v); return v; }
  double DD(int code, double dflt) { double v = realValue(code); s_.data.DD(v, dflt); return v; }
  double BT(int code) { double v = realValue(code); s_.data.BT(v); return v; }

  Point3 BD3(int code) { Point3 p = point3(code); s_.data.BD3(p); return p; }
  Point3 RD3(int code) { Point3 p = point3(code); s_.data.RD3(p); return p; }
  Point2 BD2(int code) { Point2 p = point2(code); s_.data.BD2(p); return p; }
  Point2 RD2(int code) { Point2 p = point2(code); s_.data.RD2(p); return p; }
  Point3 BE(int code) { Point3 p = point3(code); s_.data.BE(p); return p; }
  Point3 RD2z(int code, double z) {
    Point2 p = point2(code);
    if (code) take(code + 20);
    s_.data.RD2(p);
    return Point3{p.x, p.y, z};
  }

  std::string T(int code);
  std::string longText(int last, int more);
  int16_t CMC(int code);

  Handle H(int code, HandleKind k);
  Handle ownedH(int code, HandleKind k);
  Handle linkH(Handle ObjectLinks::*slot, HandleKind k) {
    Handle h = links_.*slot;
    writeHandle(h, k);
    return h;
  }
  Handle dataH(int code);

  std::string bytes(size_t n, int code);

  bool failed() const { return fail_; }
  void fail() { fail_ = true; }
  // The descriptions bound their counts by the bits a reader has left; a writer has no such limit.
  struct Unbounded {
    size_t remainingBits() const { return SIZE_MAX / 64; }
  };
  struct StreamBounds {
    Unbounded data, strings, handles;
  };
  StreamBounds streams() const { return {}; }
  Handle self() const { return 0; }

  // Writes a text into the proper stream (the string stream from R2007 on).
  void text(const std::string& utf8);
  void writeHandle(Handle h, HandleKind k);

 private:
  // The next unused tag with `code` (null when none is left); marks it used.
  const Tag* take(int code);
  const Tag* nextQueued();
  int64_t intValue(int code);
  double realValue(int code);
  Point3 point3(int code);
  Point2 point2(int code);
  double defaultReal(int code) const;
  int64_t defaultInt(int code) const;
  uint32_t& cursor(int code);

  // The record types whose missing values default to something other than zero, told apart once
  // per record rather than by name at every value.
  enum class Defaults : uint8_t { None, MText, Text, Style, Vport, View, Viewport, Layout, Dimension, Ltype, BlockRecord, Dictionary };

  ObjectWriterBuffers own_;
  ObjectWriterBuffers& b_;
  const Tags& body_;
  size_t scopeBegin_ = 0, scopeEnd_ = SIZE_MAX;
  WriteStreams& s_;
  const WriteContext& ctx_;
  Version v_;
  Defaults defaults_ = Defaults::None;
  size_t queuePos_ = 0;
  size_t handlePos_ = 0;
  size_t ownedPos_ = 0;
  ObjectLinks links_;
  bool fail_ = false;
};

// How one record is to be written: its DWG type, kind, where it belongs and what it links to.
struct RecordPlan {
  uint16_t type = 0;        // DWG type number (classes from 500)
  std::string dwgType;      // the description's name: "LINE", "VERTEX_2D", "DIMENSION_LINEAR" ...
  RecordKind kind = RecordKind::Object;
  uint8_t entmode = 0;      // entities: 0 owner handle, 1 paper space, 2 model space
  Handle owner = 0;
  ObjectLinks links;
  Tags body;                // when not empty: replaces the record's own body (synthesized records)
  bool useBody = false;
  const Object* blockBegin = nullptr;  // block records: the BLOCK entity (flags, base point, path)
};

// The DWG type name a record is written as (empty when the writer has no description for it).
// `parentPolyline` gives a VERTEX's polyline kind ("POLYLINE_2D", ...); empty otherwise.
std::string dwgTypeFor(const Object& o, const std::string& parentPolyline);
// The fixed type number of a DWG type name (0 when it is numbered through the classes).
uint16_t fixedTypeNumber(const std::string& dwgType);
// The DXF name, C++ class name and entity flag of a type numbered through the classes.
struct ClassInfo {
  const char* dxfName;
  const char* cppName;
  bool entity;
};
const ClassInfo* classInfoFor(const std::string& dwgType);

// Buffers one record's encoding reuses from the previous one: a file encodes many records, and
// fresh buffers for each would cost more than the encoding itself.
struct EncodeScratch {
  explicit EncodeScratch(Version v) : streams(v) {}
  WriteStreams streams;
  ObjectWriterBuffers writer;
  Tags converted;
  std::vector<Handle> reactors;
  std::string graphics;
};

// Encodes `o` as a complete object record: MS size, handle-stream size, the bits, CRC.
// Returns false when the record cannot be written (it is then left out).
bool encodeRecord(const Object& o, const RecordPlan& plan, const WriteContext& ctx, std::vector<uint8_t>& out);
// The same, appending the record to `out`; on failure `out` is left as it was.
bool appendRecord(const Object& o, const RecordPlan& plan, const WriteContext& ctx, std::vector<uint8_t>& out);

// The extended data (1001...) of a record in the DWG chunked form, ending with the zero size.
void writeExtendedData(BitWriter& w, const Tags& xdata, const WriteContext& ctx);

// Lineweight in hundredths of a millimetre (DXF 370) -> the stored index.
int lineweightIndex(int dxfValue);

// Appends `bitCount` bits of `src` (starting at bit 0) to `dst`.
void appendBits(BitWriter& dst, std::span<const uint8_t> src, size_t bitCount);

// Finishes an R2007+ data stream: appends the string stream, its size and the presence flag.
void appendStringStream(BitWriter& data, const BitWriter& strings);

// UTF-8 -> UTF-16 (invalid sequences become U+FFFD).
std::u16string utf8ToUtf16(const std::string& s);

}  // namespace kel::dwg
