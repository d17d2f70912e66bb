// Group-code value types, as the DXF format assigns them by code range.
#include "engine/model/tag.h"

#include <bit>
#include <limits>
#include <new>
#include <ostream>
#include <stdexcept>

namespace kel::engine {

ValueKind kindOf(int c) {
  if (c < 0) return ValueKind::String;
  if (c <= 4) return ValueKind::String;
  if (c == 5) return ValueKind::Handle;
  if (c <= 9) return ValueKind::String;
  if (c <= 59) return ValueKind::Double;
  if (c <= 79) return ValueKind::Int16;
  if (c <= 99) return ValueKind::Int32;
  if (c == 105) return ValueKind::Handle;
  if (c <= 109) return ValueKind::String;
  if (c <= 149) return ValueKind::Double;
  if (c >= 160 && c <= 169) return ValueKind::Int64;
  if (c >= 170 && c <= 179) return ValueKind::Int16;
  if (c >= 210 && c <= 239) return ValueKind::Double;
  if (c >= 270 && c <= 289) return ValueKind::Int16;
  if (c >= 290 && c <= 299) return ValueKind::Bool;
  if (c >= 300 && c <= 309) return ValueKind::String;
  if (c >= 310 && c <= 319) return ValueKind::Binary;
  if (c >= 320 && c <= 369) return ValueKind::Handle;
  if (c >= 370 && c <= 389) return ValueKind::Int16;
  if (c >= 390 && c <= 399) return ValueKind::Handle;
  if (c >= 400 && c <= 409) return ValueKind::Int16;
  if (c >= 410 && c <= 419) return ValueKind::String;
  if (c >= 420 && c <= 429) return ValueKind::Int32;
  if (c >= 430 && c <= 439) return ValueKind::String;
  if (c >= 440 && c <= 459) return ValueKind::Int32;
  if (c >= 460 && c <= 469) return ValueKind::Double;
  if (c >= 470 && c <= 479) return ValueKind::String;
  if (c == 480 || c == 481) return ValueKind::Handle;
  if (c == 999) return ValueKind::String;
  if (c == 1004) return ValueKind::Binary;
  if (c == 1005) return ValueKind::Handle;
  if (c >= 1000 && c <= 1009) return ValueKind::String;
  if (c >= 1010 && c <= 1059) return ValueKind::Double;
  if (c >= 1060 && c <= 1070) return ValueKind::Int16;
  if (c == 1071) return ValueKind::Int32;
  return ValueKind::String;
}

bool isKnownCode(int c) { return c >= 0 && c <= 1071; }

Tag Tag::str(int code, std::string_view v) {
  Tag t;
  t.code = int16_t(code);
  t.kind = ValueKind::String;
  t.s.assign(v);
  return t;
}
Tag Tag::real(int code, double v) {
  Tag t;
  t.code = int16_t(code);
  t.kind = ValueKind::Double;
  t.d = v;
  return t;
}
Tag Tag::integer(int code, int64_t v) {
  Tag t;
  t.code = int16_t(code);
  t.kind = kindOf(code);
  // A code that carries text (or none, as for the writer's queued values) still gets an integer:
  // the value storage holds one or the other, so the kind must say integer.
  if (t.kind == ValueKind::String || t.kind == ValueKind::Binary) t.kind = ValueKind::Int64;
  if (t.kind == ValueKind::Double) t.d = double(v);
  else t.i = v;
  return t;
}
Tag Tag::handle(int code, Handle h) {
  Tag t;
  t.code = int16_t(code);
  t.kind = ValueKind::Handle;
  t.i = int64_t(h);
  return t;
}

namespace {

// Text blocks come from operator new like every other allocation of the engine.
char* allocText(size_t bytes) {
  if (bytes - 1 > std::numeric_limits<uint32_t>::max()) throw std::length_error("group text too long");
  return static_cast<char*>(::operator new(bytes));
}

}  // namespace

void Tag::copyValue(const Tag& o) {
  if (o.hasBlock()) {
    char* nb = allocText(size_t(o.n_) + 1);
    std::memcpy(nb, o.s.block(), size_t(o.n_) + 1);
    dropBlock();
    std::memcpy(s.b_, o.s.b_, 8);
    s.setBlock(nb);
  } else {
    dropBlock();
    std::memcpy(s.b_, o.s.b_, sizeof s.b_);
  }
  n_ = o.n_;  // a copy is exactly sized
}

// Short text: the 16 bytes are the text and zeros after it, so a NUL follows the text and the
// last byte is always zero.
void TagText::putInline(const char* p, size_t n) noexcept {
  char tmp[sizeof b_] = {};
  std::memcpy(tmp, p, n);  // p may point into b_ or into the block about to go
  std::memcpy(b_, tmp, sizeof b_);
}

// Replaces the storage by a new block of `bytes` holding the first `keep` bytes of the text and
// then m bytes from p, NUL-terminated; the rest of a larger block is left as it is.
void TagText::moveToBlock(size_t bytes, size_t keep, const char* p, size_t m) {
  Tag& t = tag();
  char* nb = allocText(bytes);
  std::memcpy(nb, data(), keep);
  std::memcpy(nb + keep, p, m);  // p may lie in the old text: still there until dropped
  nb[keep + m] = 0;
  t.dropBlock();
  std::memset(b_, 0, 8);  // the number's slot reads zero beside a long text
  setBlock(nb);
  t.n_ = uint32_t(keep + m);
}

TagText& TagText::assign(const char* p, size_t n) {
  Tag& t = tag();
  if (n <= kInline) {
    char* old = t.hasBlock() ? block() : nullptr;
    putInline(p, n);
    t.n_ = uint32_t(n);
    t.room_ = 0;
    ::operator delete(old);
  } else {
    moveToBlock(n + 1, 0, p, n);
  }
  return *this;
}

TagText& TagText::append(const char* p, size_t m) {
  if (m == 0) return *this;
  Tag& t = tag();
  const size_t n = t.n_, total = n + m;
  if (total <= kInline) {
    std::memmove(b_ + n, p, m);
    b_[total] = 0;
    t.n_ = uint32_t(total);
  } else if (t.hasBlock() && t.room_ && total + 1 <= std::bit_ceil(n + 1)) {
    char* b = block();
    std::memmove(b + n, p, m);
    b[total] = 0;
    t.n_ = uint32_t(total);
  } else {
    moveToBlock(std::bit_ceil(total + 1), n, p, m);
    t.room_ = 1;
  }
  return *this;
}

void TagText::resize(size_t n) {
  Tag& t = tag();
  const size_t cur = t.n_;
  if (n == cur) return;
  if (n < cur) {
    assign(data(), n);
  } else if (n <= kInline) {
    std::memset(b_ + cur, 0, sizeof b_ - cur);
    t.n_ = uint32_t(n);
  } else {
    char* nb = allocText(n + 1);
    std::memcpy(nb, data(), cur);
    std::memset(nb + cur, 0, n + 1 - cur);
    t.dropBlock();
    std::memset(b_, 0, 8);
    setBlock(nb);
    t.n_ = uint32_t(n);
  }
}

void TagText::clear() noexcept {
  tag().dropBlock();
  zero();
}

std::ostream& operator<<(std::ostream& os, const TagText& t) { return os << t.view(); }
void PrintTo(const TagText& t, std::ostream* os) { *os << '"' << t.view() << '"'; }

}  // namespace kel::engine
