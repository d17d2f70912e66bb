#include "engine/dwg/lz77.h"

#include <bit>
#include <cstring>

namespace kel::dwg {

namespace {

// ---------------------------------------------------------------------------------------------
// Decoding

class Decoder {
 public:
  Decoder(std::span<const uint8_t> src, std::span<uint8_t> dst) : src_(src), dst_(dst) {}

  DecompressResult run() {
    uint8_t op = next();
    if (op < 0x10) {
      literals(literalCount(op));
      op = next();
    }
    while (!error_ && op != 0x11) {
      size_t length = 0, offset = 0;
      unsigned trailing = 0;
      if (op >= 0x40) {
        // Short match: length in the high nibble, 2 offset bits in the opcode, 8 in the next byte.
        length = (op >> 4) - 1;
        uint8_t b = next();
        offset = ((size_t(b) << 2) | ((op >> 2) & 3)) + 1;
        trailing = op & 3;
      } else if (op >= 0x20) {
        length = op == 0x20 ? extendedCount() + 0x21 : size_t(op) - 0x1E;
        offset = twoByteOffset(trailing) + 1;
      } else if (op == 0x10 || (op >= 0x12 && op <= 0x17)) {
        length = op == 0x10 ? extendedCount() + 9 : size_t(op & 7) + 2;
        offset = twoByteOffset(trailing) + 0x4000;
      } else if (op >= 0x18 && op <= 0x1F) {
        // Far match with one more offset bit in the opcode (offsets 0x8000 and up).
        length = size_t(op & 7) + 2;
        offset = twoByteOffset(trailing) + 0x4000 + 0x4000;
      } else {
        error_ = true;  // 0x00-0x0F cannot start a match: two literal runs in a row
        break;
      }
      copyMatch(offset, length);
      if (trailing > 0) {
        literals(trailing);
        op = next();
      } else {
        op = next();
        if (op < 0x10) {
          literals(literalCount(op));
          op = next();
        }
      }
    }
    DecompressResult r;
    r.ok = !error_;
    r.produced = out_;
    r.consumed = in_;
    return r;
  }

 private:
  uint8_t next() {
    if (in_ >= src_.size()) {
      error_ = true;
      return 0x11;  // ends every loop
    }
    return src_[in_++];
  }

  // A literal-run byte: 1..15 stand for 4..18 literals; 0 for 18 plus an extended count.
  size_t literalCount(uint8_t op) {
    if (op != 0) return size_t(op) + 3;
    return extendedCount() + 0x0F + 3;
  }

  // Zero bytes add 255 each; the first non-zero byte adds itself and ends the count.
  size_t extendedCount() {
    size_t total = 0;
    uint8_t b;
    while ((b = next()) == 0 && !error_) total += 0xFF;
    return error_ ? 0 : total + b;
  }

  size_t twoByteOffset(unsigned& trailing) {
    uint8_t b1 = next();
    uint8_t b2 = next();
    trailing = b1 & 3;
    return (size_t(b1) >> 2) | (size_t(b2) << 6);
  }

  void literals(size_t count) {
    if (error_) return;
    if (count > src_.size() - in_ || count > dst_.size() - out_) {
      error_ = true;
      return;
    }
    std::memcpy(dst_.data() + out_, src_.data() + in_, count);
    in_ += count;
    out_ += count;
  }

  void copyMatch(size_t offset, size_t length) {
    if (error_) return;
    if (offset > out_ || length > dst_.size() - out_) {
      error_ = true;
      return;
    }
    uint8_t* d = dst_.data();
    size_t from = out_ - offset;
    if (offset >= length) {
      std::memcpy(d + out_, d + from, length);
    } else {
      for (size_t k = 0; k < length; ++k) d[out_ + k] = d[from + k];  // overlapping: repeats
    }
    out_ += length;
  }

  std::span<const uint8_t> src_;
  std::span<uint8_t> dst_;
  size_t in_ = 0;
  size_t out_ = 0;
  bool error_ = false;
};

// ---------------------------------------------------------------------------------------------
// Encoding

constexpr size_t kMaxOffset = 0x7FFF;  // far matches reach 0x4000 + 0x3FFF
constexpr size_t kNearOffset = 0x400;  // the two-byte opcodes 0x40-0xFF
constexpr size_t kMidOffset = 0x4000;  // opcodes 0x20-0x3F
constexpr unsigned kHashBits = 15;
constexpr int kChainDepth = 48;

void putExtendedCount(std::vector<uint8_t>& out, size_t n) {
  // n >= 1: (n - 1) / 255 zero bytes, then the remainder in 1..255.
  while (n > 255) {
    out.push_back(0);
    n -= 255;
  }
  out.push_back(uint8_t(n));
}

void putLiteralRun(std::vector<uint8_t>& out, const uint8_t* p, size_t n) {
  // n >= 4 here.
  if (n <= 18) {
    out.push_back(uint8_t(n - 3));
  } else {
    out.push_back(0);
    putExtendedCount(out, n - 18);
  }
  out.insert(out.end(), p, p + n);
}

// Writes one match; `trailing` (1..3, or 0 when a literal run or the end follows) goes in the low bits.
void putMatch(std::vector<uint8_t>& out, size_t length, size_t offset, unsigned trailing) {
  if (offset <= kNearOffset && length <= 14) {
    size_t v = offset - 1;
    out.push_back(uint8_t(((length + 1) << 4) | ((v & 3) << 2) | trailing));
    out.push_back(uint8_t(v >> 2));
    return;
  }
  size_t v;
  if (offset <= kMidOffset) {
    v = offset - 1;
    if (length <= 33) {
      out.push_back(uint8_t(length + 0x1E));
    } else {
      out.push_back(0x20);
      putExtendedCount(out, length - 33);
    }
  } else {
    v = offset - 0x4000;
    if (length <= 9) {
      out.push_back(uint8_t(0x10 | (length - 2)));
    } else {
      out.push_back(0x10);
      putExtendedCount(out, length - 9);
    }
  }
  out.push_back(uint8_t(((v & 0x3F) << 2) | trailing));
  out.push_back(uint8_t(v >> 6));
}

// How many bytes `a` and `b` have in common, up to `max`: eight at a time, then the rest.
size_t matchLength(const uint8_t* a, const uint8_t* b, size_t max) {
  size_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; n + 8 <= max; n += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + size_t(std::countr_zero(x ^ y) >> 3);
    }
  }
  while (n < max && a[n] == b[n]) ++n;
  return n;
}

// The shortest match worth coding at a distance: a near match of 3 saves a byte, further ones need 4.
size_t minLength(size_t offset) { return offset <= kNearOffset ? 3 : 4; }

class Encoder {
 public:
  // The match tables are kept per thread between calls: a file compresses many pages of the same
  // size, and fresh tables for each would cost more than the page. Every position on a chain has
  // its link written when it is inserted, so only the chain heads need clearing.
  explicit Encoder(std::span<const uint8_t> src) : s_(src.data()), n_(src.size()), head_(tables().head), prev_(tables().prev) {
    head_.assign(size_t(1) << kHashBits, -1);
    if (prev_.size() < n_) prev_.resize(n_);
  }

  void run(std::vector<uint8_t>& out) {
    size_t litStart = 0;
    bool haveMatch = false;
    size_t matchLen = 0, matchOff = 0;
    size_t i = 0;
    // The first literal run must be at least 4 long, so no match starts before position 4.
    while (i < n_) {
      size_t len = 0, off = 0;
      if (i >= 4) find(i, len, off);
      insert(i);
      if (len == 0) {
        ++i;
        continue;
      }
      if (len < 32 && i + 1 < n_) {
        // One step of lazy matching: a clearly longer match one byte later wins.
        size_t len2 = 0, off2 = 0;
        find(i + 1, len2, off2);
        if (len2 > len + 1) {
          ++i;
          len = len2;
          off = off2;
        }
      }
      // The previous match (if any) takes the literals between it and this one.
      emitPending(out, haveMatch, matchLen, matchOff, litStart, i);
      haveMatch = true;
      matchLen = len;
      matchOff = off;
      for (size_t k = i; k < i + len; ++k) insert(k);
      i += len;
      litStart = i;
    }
    emitPending(out, haveMatch, matchLen, matchOff, litStart, n_);
    out.push_back(0x11);
    out.push_back(0x00);
    out.push_back(0x00);
  }

 private:
  static uint32_t load3(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }
  static uint32_t hashAt(const uint8_t* p) { return (load3(p) * 2654435761u) >> (32 - kHashBits); }

  void insert(size_t i) {
    if (i + 2 >= n_ || inserted_ > i) return;
    uint32_t h = hashAt(s_ + i);
    prev_[i] = head_[h];
    head_[h] = int32_t(i);
    inserted_ = i + 1;
  }

  void find(size_t i, size_t& bestLen, size_t& bestOff) {
    bestLen = 0;
    bestOff = 0;
    if (i + 3 > n_) return;
    size_t maxLen = n_ - i;
    const uint8_t* here = s_ + i;
    // Every match worth coding is at least 3 long: a candidate whose first three bytes differ is
    // passed over without measuring it.
    const uint32_t head3 = load3(here);
    int32_t cand = head_[hashAt(here)];
    for (int depth = 0; cand >= 0 && depth < kChainDepth; ++depth, cand = prev_[size_t(cand)]) {
      size_t c = size_t(cand);
      if (c >= i) continue;
      size_t off = i - c;
      if (off > kMaxOffset) break;
      const uint8_t* there = s_ + c;
      if (bestLen > 0 && bestLen < maxLen && there[bestLen] != here[bestLen]) continue;
      if (load3(there) != head3) continue;
      size_t len = matchLength(there, here, maxLen);
      if (len < minLength(off)) continue;
      // A longer match wins; equal lengths keep the nearer (cheaper) offset found first.
      if (len > bestLen) {
        bestLen = len;
        bestOff = off;
        if (len == maxLen) break;
      }
    }
  }

  void emitPending(std::vector<uint8_t>& out, bool haveMatch, size_t matchLen, size_t matchOff,
                   size_t litStart, size_t litEnd) {
    size_t lits = litEnd - litStart;
    if (!haveMatch) {
      if (lits > 0) putLiteralRun(out, s_ + litStart, lits);  // lits >= 4 by construction
      return;
    }
    if (lits >= 1 && lits <= 3) {
      putMatch(out, matchLen, matchOff, unsigned(lits));
      out.insert(out.end(), s_ + litStart, s_ + litEnd);
    } else {
      putMatch(out, matchLen, matchOff, 0);
      if (lits > 0) putLiteralRun(out, s_ + litStart, lits);
    }
  }

  struct Tables {
    std::vector<int32_t> head, prev;
  };
  static Tables& tables() {
    thread_local Tables t;
    return t;
  }

  const uint8_t* s_;
  size_t n_;
  std::vector<int32_t>& head_;
  std::vector<int32_t>& prev_;
  size_t inserted_ = 0;
};

}  // namespace

DecompressResult decompress2004(std::span<const uint8_t> src, std::span<uint8_t> dst) {
  return Decoder(src, dst).run();
}

bool compress2004(std::span<const uint8_t> src, std::vector<uint8_t>& out) {
  if (src.size() >= 1 && src.size() <= 3) return false;
  Encoder(src).run(out);
  return true;
}

}  // namespace kel::dwg
