// One DXF group: a group code and its typed value. Every record of the drawing keeps the groups
// we do not model as a list of these, so nothing read is lost.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kel::engine {

using Handle = uint64_t;

// The value type a group code carries, fixed by the code's range.
enum class ValueKind : uint8_t { String, Double, Int16, Int32, Int64, Bool, Handle, Binary };

// The kind of a group code; codes outside the ranges DXF defines answer String.
ValueKind kindOf(int code);
// True for codes inside the range DXF uses (0..1071); others make a file invalid.
bool isKnownCode(int code);
// Codes whose handle value points at another record (owner, soft/hard pointers and owners).
inline bool isPointerCode(int code) {
  return (code >= 330 && code <= 369) || (code >= 390 && code <= 399) || code == 480 || code == 481;
}

// A drawing holds millions of these, so a group is kept small: the real and the integer share
// their storage, and only the one matching `kind` is meaningful (read through the kind, or with
// asDouble/asInt). A fresh group has both at zero.
struct Tag {
  int16_t code = 0;
  ValueKind kind = ValueKind::String;
  union {
    double d;       // Double
    int64_t i = 0;  // Int16, Int32, Int64, Bool, Handle
  };
  std::string s;  // String (UTF-8), Binary (raw bytes)

  static Tag str(int code, std::string v);
  static Tag real(int code, double v);
  static Tag integer(int code, int64_t v);
  static Tag handle(int code, Handle h);
  bool isString() const { return kind == ValueKind::String; }
};

static_assert(sizeof(Tag) <= sizeof(std::string) + 16, "a group is its text and one 8-byte value");

using Tags = std::vector<Tag>;

// Value helpers for reading the common kinds without caring about the stored width.
inline double asDouble(const Tag& t) { return t.kind == ValueKind::Double ? t.d : double(t.i); }
inline int64_t asInt(const Tag& t) { return t.kind == ValueKind::Double ? int64_t(t.d) : t.i; }

}  // namespace kel::engine
