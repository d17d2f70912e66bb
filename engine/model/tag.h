// One DXF group: a group code and its typed value. Every record of the drawing keeps the groups
// we do not model as a list of these, so nothing read is lost.
#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <new>
#include <string>
#include <string_view>
#include <utility>
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

struct Tag;

// The text of a group (UTF-8 for String, raw bytes for Binary), with the part of the std::string
// interface the engine uses. It is not an object of its own but the value storage of the Tag
// that holds it, which keeps the length. Text of up to 15 bytes fills the 16 value bytes in
// place, NUL-terminated; longer text lives in an exactly sized block whose pointer takes the
// second 8 bytes, so that writing the real or the integer never loses the block. A text built by
// appending grows its block by doubling instead (the Tag records that), so appending byte by byte
// stays linear. The text read back is only meaningful for a String or Binary group; c_str() is
// always NUL-terminated.
class TagText {
 public:
  using value_type = char;
  using size_type = size_t;
  using iterator = char*;
  using const_iterator = const char*;
  static constexpr size_t npos = std::string_view::npos;
  static constexpr size_t kInline = 15;  // longest text kept in place

  TagText() = default;
  TagText(const TagText&) = delete;  // only ever a part of its Tag
  TagText& operator=(const TagText& o) { return assign(o.view()); }
  TagText& operator=(std::string_view v) { return assign(v.data(), v.size()); }

  size_t size() const noexcept;
  size_t length() const noexcept { return size(); }
  bool empty() const noexcept { return size() == 0; }
  const char* data() const noexcept;
  char* data() noexcept { return const_cast<char*>(std::as_const(*this).data()); }
  const char* c_str() const noexcept;
  std::string_view view() const noexcept { return {data(), size()}; }
  operator std::string_view() const noexcept { return view(); }
  operator std::string() const { return std::string(view()); }

  char operator[](size_t k) const noexcept { return data()[k]; }
  char& operator[](size_t k) noexcept { return data()[k]; }
  char front() const noexcept { return data()[0]; }
  char back() const noexcept { return data()[size() - 1]; }
  const char* begin() const noexcept { return data(); }
  const char* end() const noexcept { return data() + size(); }
  char* begin() noexcept { return data(); }
  char* end() noexcept { return data() + size(); }

  std::string substr(size_t pos = 0, size_t n = npos) const { return std::string(view().substr(pos, n)); }
  size_t find(std::string_view v, size_t pos = 0) const noexcept { return view().find(v, pos); }
  size_t find(char c, size_t pos = 0) const noexcept { return view().find(c, pos); }
  int compare(std::string_view v) const noexcept { return view().compare(v); }
  bool starts_with(std::string_view v) const noexcept { return view().starts_with(v); }
  bool ends_with(std::string_view v) const noexcept { return view().ends_with(v); }

  TagText& assign(const char* p, size_t n);
  TagText& assign(std::string_view v) { return assign(v.data(), v.size()); }
  TagText& append(const char* p, size_t n);
  TagText& append(std::string_view v) { return append(v.data(), v.size()); }
  TagText& operator+=(std::string_view v) { return append(v.data(), v.size()); }
  TagText& operator+=(char c) { return append(&c, 1); }
  void push_back(char c) { append(&c, 1); }
  // New bytes past the old end are zero, as with std::string.
  void resize(size_t n);
  // Also zeroes the real/integer that shares the storage.
  void clear() noexcept;

  friend bool operator==(const TagText& a, const TagText& b) noexcept { return a.view() == b.view(); }
  friend bool operator==(const TagText& a, std::string_view b) noexcept { return a.view() == b; }
  friend std::strong_ordering operator<=>(const TagText& a, const TagText& b) noexcept { return a.view() <=> b.view(); }
  friend std::strong_ordering operator<=>(const TagText& a, std::string_view b) noexcept { return a.view() <=> b; }
  friend std::string operator+(const TagText& a, std::string_view b) { return std::string(a.view()).append(b); }
  friend std::string operator+(std::string_view a, const TagText& b) { return std::string(a).append(b.view()); }
  friend std::string operator+(const TagText& a, const TagText& b) { return std::string(a.view()).append(b.view()); }

 private:
  friend struct Tag;
  const Tag& tag() const noexcept;
  Tag& tag() noexcept { return const_cast<Tag&>(std::as_const(*this).tag()); }
  char* block() const noexcept {
    char* p;
    std::memcpy(&p, b_ + 8, sizeof p);
    return p;
  }
  void setBlock(char* p) noexcept { std::memcpy(b_ + 8, &p, sizeof p); }
  void zero() noexcept { std::memset(b_, 0, sizeof b_); }
  void putInline(const char* p, size_t n) noexcept;
  void moveToBlock(size_t bytes, size_t keep, const char* p, size_t m);

  alignas(8) char b_[16];
};

std::ostream& operator<<(std::ostream& os, const TagText& t);
// Test failure messages show a text as one quoted string rather than as a list of chars.
void PrintTo(const TagText& t, std::ostream* os);

// A drawing holds millions of these, so a group is kept to 24 bytes: the real, the integer and
// the text share their storage, and only the one matching `kind` is meaningful (read it through
// the kind, or with asDouble/asInt). A fresh group holds zero and an empty text.
struct Tag {
  int16_t code = 0;
  ValueKind kind = ValueKind::String;
  uint8_t room_ = 0;  // the text's block was grown by appending: its size is bit_ceil(n_ + 1)
  uint32_t n_ = 0;    // length of the text in s
  union {
    double d;    // Double
    int64_t i;   // Int16, Int32, Int64, Bool, Handle
    TagText s;   // String (UTF-8), Binary (raw bytes)
  };

  Tag() noexcept { s.zero(); }
  Tag(const Tag& o) : code(o.code), kind(o.kind), n_(0) { copyValue(o); }
  Tag(Tag&& o) noexcept : code(o.code), kind(o.kind), room_(o.room_), n_(o.n_) {
    std::memcpy(s.b_, o.s.b_, sizeof s.b_);
    o.n_ = 0;  // the block, if any, is ours now
    o.room_ = 0;
  }
  Tag& operator=(const Tag& o) {
    if (this != &o) {
      code = o.code;
      kind = o.kind;
      copyValue(o);
    }
    return *this;
  }
  Tag& operator=(Tag&& o) noexcept {
    if (this != &o) {
      dropBlock();
      code = o.code;
      kind = o.kind;
      room_ = o.room_;
      n_ = o.n_;
      std::memcpy(s.b_, o.s.b_, sizeof s.b_);
      o.n_ = 0;
      o.room_ = 0;
    }
    return *this;
  }
  ~Tag() { dropBlock(); }

  static Tag str(int code, std::string_view v);
  static Tag real(int code, double v);
  static Tag integer(int code, int64_t v);
  static Tag handle(int code, Handle h);
  bool isString() const { return kind == ValueKind::String; }
  // String or Binary: the value is the text in s.
  bool isText() const { return kind == ValueKind::String || kind == ValueKind::Binary; }

 private:
  friend class TagText;
  bool hasBlock() const noexcept { return n_ > TagText::kInline; }
  void dropBlock() noexcept {
    if (hasBlock()) ::operator delete(s.block());
    n_ = 0;
    room_ = 0;
  }
  void copyValue(const Tag& o);
};

static_assert(sizeof(Tag) == 24, "a group is a 24-byte record: code, kind, text length, 16 value bytes");
static_assert(alignof(Tag) == 8);
static_assert(offsetof(Tag, s) == 8 && offsetof(Tag, i) == 8 && offsetof(Tag, d) == 8);

using Tags = std::vector<Tag>;

// Value helpers for reading the common kinds without caring about the stored width. A text
// group reads as zero: its storage holds the text.
inline double asDouble(const Tag& t) {
  return t.kind == ValueKind::Double ? t.d : t.isText() ? 0.0 : double(t.i);
}
inline int64_t asInt(const Tag& t) {
  return t.kind == ValueKind::Double ? int64_t(t.d) : t.isText() ? 0 : t.i;
}

inline const Tag& TagText::tag() const noexcept {
  return *reinterpret_cast<const Tag*>(reinterpret_cast<const char*>(this) - offsetof(Tag, s));
}
inline size_t TagText::size() const noexcept { return tag().n_; }
inline const char* TagText::data() const noexcept { return tag().hasBlock() ? block() : b_; }
inline const char* TagText::c_str() const noexcept {
  const uint32_t n = tag().n_;
  return n > kInline ? block() : n ? b_ : "";
}

}  // namespace kel::engine
