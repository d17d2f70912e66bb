// The streams of one DWG object and the reading side of the per-type descriptions.
//
// A DWG object's values live in up to three bit streams: the data stream, the string stream
// (from R2007 on the texts are gathered at the end of the data, read backwards from the data's
// last bit) and the handle stream (after the data). Each per-type description is written once as
// `template <class IO> void visit(IO&)` in terms of the DXF group code every value becomes:
// `io.BD(40)` reads a bit double into group 40, `io.H(330, HandleKind::SoftPointer)` a handle
// reference into group 330. ObjectReader turns such a description into bits -> tags; a writer
// with the same member names turns the same description into tags -> bits.
//
// Group code conventions of the descriptions:
//   code > 0   the value becomes a tag with that code;
//   code == 0  the value is structural (a count, a flag word) and is not emitted;
//   point readers take the x code; y and z follow at +10 and +20 (DXF's own rule).
// Handle groups whose DXF form is a name (layer 8, linetype 6, style 7, dimstyle 3, block 2 ...)
// are emitted as handle-valued tags with that code; the resolution pass turns them into names.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/model/tag.h"

namespace kel::dwg {

using kel::engine::Handle;
using kel::engine::Tag;
using kel::engine::Tags;

// The reference codes a handle carries in the handle stream (what it means to the owner).
enum class HandleKind : uint8_t { SoftOwner = 2, HardOwner = 3, SoftPointer = 4, HardPointer = 5 };

// A text of the drawing's code page (before R2007) as UTF-8, converted as the DXF reader converts
// text of the same code page; 0 (unset) is read as ANSI_1252.
std::string codePageToUtf8(const std::string& bytes, uint16_t codePage);
std::string utf16ToUtf8(const std::u16string& s);

// The lineweight stored as an index (entities, layers) as DXF's hundredths of a millimetre.
int lineweightFromIndex(int index);

// Absolute handle of a reference found in `self`'s handle stream (relative codes 6, 8, A, C).
Handle absoluteHandle(const HandleRef& r, Handle self);

// Handles an object names that the assembly needs to link records together.
struct ObjectLinks {
  std::vector<Handle> owned;     // table entries, vertices/attributes, block entities, group members
  Handle first = 0, last = 0;    // first/last sub-entity or block entity (R13..R2000)
  Handle seqend = 0;
  Handle blockEntity = 0, endblk = 0;  // a block record's BLOCK and ENDBLK
  Handle modelSpace = 0, paperSpace = 0;  // the block control's two layout records
  Handle prev = 0, next = 0;     // entity chain (R13..R2000)
};

// Where the three streams of an object lie, decided from its record bytes and version.
struct ObjectStreams {
  BitReader data;
  BitReader strings;
  BitReader handles;
  bool separateStrings = false;  // R2007+
};

// Locates the string stream of an R2007+ object (or header/classes section) whose data stream ends
// at bit `endBit` of `r`'s buffer. Returns false when the size fields are inconsistent; `out` then
// reads nothing. When the flag bit says there are no strings, `out` is an empty stream.
bool locateStringStream(const BitReader& r, size_t startBit, size_t endBit, BitReader& out);

class ObjectReader {
 public:
  ObjectReader(ObjectStreams& s, Version v, Handle self, uint16_t codePage, Tags& out)
      : s_(s), v_(v), self_(self), codePage_(codePage), out_(out) {}

  // Version tests, by release order.
  Version version() const { return v_; }
  bool since(Version x) const { return v_ >= x; }
  bool until(Version x) const { return v_ <= x; }
  bool between(Version a, Version b) const { return v_ >= a && v_ <= b; }
  static constexpr bool reading = true;

  // Structure.
  void marker(const char* subclass) { out_.push_back(Tag::str(100, subclass)); }
  // A value the DWG form implies but does not store (DXF wants it anyway): emitted as is.
  void implied(const Tag& t) { out_.push_back(t); }
  // Values kept aside for the record that DXF puts them on (block record -> BLOCK).
  Tags& side() { return side_; }

  // Numbers.
  bool B(int code) { return emitInt(code, s_.data.B()); }
  uint8_t BB(int code) { return uint8_t(emitInt(code, s_.data.BB())); }
  uint8_t B3(int code) { return uint8_t(emitInt(code, s_.data.B3())); }
  int16_t BS(int code) { return int16_t(emitInt(code, s_.data.BS())); }
  int32_t BL(int code) { return int32_t(emitInt(code, s_.data.BL())); }
  uint64_t BLL(int code) { return uint64_t(emitInt(code, int64_t(s_.data.BLL()))); }
  uint8_t RC(int code) { return uint8_t(emitInt(code, s_.data.RC())); }
  uint16_t RS(int code) { return uint16_t(emitInt(code, s_.data.RS())); }
  uint32_t RL(int code) { return uint32_t(emitInt(code, s_.data.RL())); }
  uint64_t bits(unsigned n, int code) { return uint64_t(emitInt(code, int64_t(s_.data.bits(n)))); }
  double BD(int code) { return emitReal(code, s_.data.BD()); }
  double RD(int code) { return emitReal(code, s_.data.RD()); }
  double DD(int code, double dflt) { return emitReal(code, s_.data.DD(dflt)); }
  double BT(int code) { return emitReal(code, s_.data.BT()); }

  // Points: x code, y at +10, z at +20.
  Point3 BD3(int code) { return emitP3(code, s_.data.BD3()); }
  Point3 RD3(int code) { return emitP3(code, s_.data.RD3()); }
  Point2 BD2(int code) { return emitP2(code, s_.data.BD2()); }
  Point2 RD2(int code) { return emitP2(code, s_.data.RD2()); }
  Point3 BE(int code) { return emitP3(code, s_.data.BE()); }
  // A 2D point with the elevation as z (SOLID corners, TEXT points).
  Point3 RD2z(int code, double z) {
    Point2 p = s_.data.RD2();
    return emitP3(code, Point3{p.x, p.y, z});
  }

  // Texts (string stream from R2007 on).
  std::string T(int code) {
    std::string v = readText();
    if (code) out_.push_back(Tag::str(code, v));
    return v;
  }
  // A long text as DXF splits it: 250-character pieces in `more`, the rest in `last`.
  std::string longText(int last, int more);

  // Colours.
  int16_t CMC(int code);  // index into `code`, true colour 420, name 430 (R2004+)

  // Handle stream.
  Handle H(int code, HandleKind) {
    HandleRef r = s_.handles.H();
    Handle h = absoluteHandle(r, self_);
    if (code) out_.push_back(Tag::handle(code, h));
    return h;
  }
  // Handles that link records: kept in links() as well as (with a code) in the body.
  Handle ownedH(int code, HandleKind k) {
    Handle h = H(code, k);
    links_.owned.push_back(h);
    return h;
  }
  Handle linkH(Handle ObjectLinks::*slot, HandleKind k) { return links_.*slot = H(0, k); }
  ObjectLinks& links() { return links_; }

  // A handle stored in the data stream (header seed, extended-data application).
  Handle dataH(int code) {
    HandleRef r = s_.data.H();
    if (code) out_.push_back(Tag::handle(code, r.value));
    return r.value;
  }

  // Raw bytes (previews, strings areas) into binary chunks of `code`.
  std::string bytes(size_t n, int code);

  bool failed() const { return s_.data.error() || s_.strings.error() || s_.handles.error() || fail_; }
  void fail() { fail_ = true; }
  ObjectStreams& streams() { return s_; }
  Tags& out() { return out_; }
  Handle self() const { return self_; }

 private:
  int64_t emitInt(int code, int64_t v) {
    if (code) out_.push_back(Tag::integer(code, v));
    return v;
  }
  double emitReal(int code, double v) {
    if (code) out_.push_back(Tag::real(code, v));
    return v;
  }
  Point3 emitP3(int code, Point3 p) {
    if (code) {
      out_.push_back(Tag::real(code, p.x));
      out_.push_back(Tag::real(code + 10, p.y));
      out_.push_back(Tag::real(code + 20, p.z));
    }
    return p;
  }
  Point2 emitP2(int code, Point2 p) {
    if (code) {
      out_.push_back(Tag::real(code, p.x));
      out_.push_back(Tag::real(code + 10, p.y));
    }
    return p;
  }
  std::string readText();

  ObjectStreams& s_;
  Version v_;
  Handle self_;
  uint16_t codePage_;
  Tags& out_;
  Tags side_;
  ObjectLinks links_;
  bool fail_ = false;
};

}  // namespace kel::dwg
