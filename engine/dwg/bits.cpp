#include "engine/dwg/bits.h"

#include <bit>
#include <cstring>

namespace kel::dwg {

namespace {

double doubleFromBits(uint64_t v) { return std::bit_cast<double>(v); }

uint64_t bitsFromDouble(double d) { return std::bit_cast<uint64_t>(d); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// BitReader

bool BitReader::fail() {
  error_ = true;
  pos_ = endBits_;
  return false;
}

void BitReader::setPositionBits(size_t bit) {
  if (bit > endBits_) {
    error_ = true;
    pos_ = endBits_;
    return;
  }
  pos_ = bit;
}

void BitReader::limitBits(size_t bits) {
  if (bits < endBits_) endBits_ = bits;
  if (pos_ > endBits_) pos_ = endBits_;
}

void BitReader::alignByte() {
  size_t aligned = (pos_ + 7) & ~size_t(7);
  setPositionBits(aligned);
}

bool BitReader::B() {
  if (!need(1)) return false;
  bool v = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
  ++pos_;
  return v;
}

// Near the end of the view the bytes that are left (fewer than eight, at least the ones asked
// for) are gathered into the top of a word.
uint64_t BitReader::takeNearEnd(unsigned count) {
  const size_t byte = pos_ >> 3;
  uint64_t w = 0;
  for (size_t i = byte, shift = 56; i < bytes_; ++i, shift -= 8) w |= uint64_t(data_[i]) << shift;
  w <<= pos_ & 7;
  pos_ += count;
  return w >> (64 - count);
}

uint64_t BitReader::bits(unsigned count) {
  if (count > 64) {
    error_ = true;
    return 0;
  }
  if (count == 0 || !need(count)) return 0;
  if (count <= 32) return take(count);
  const unsigned high = count - 32;
  const uint64_t v = take(high) << 32;
  return v | take(32);
}

uint8_t BitReader::BB() { return need(2) ? uint8_t(take(2)) : 0; }

uint8_t BitReader::B3() {
  uint8_t v = 0;
  for (int i = 0; i < 3; ++i) {
    bool b = B();
    v = uint8_t((v << 1) | (b ? 1 : 0));
    if (!b) break;
  }
  return v;
}

uint8_t BitReader::RC() {
  if (!need(8)) return 0;
  return uint8_t(take(8));
}

// Raw values are little-endian: the first byte read is the least significant.
uint16_t BitReader::RS() {
  if (!need(16)) return 0;
  const uint64_t v = take(16);
  return uint16_t((v >> 8) | ((v & 0xFF) << 8));
}

uint32_t BitReader::RL() {
  if (!need(32)) return 0;
  return __builtin_bswap32(uint32_t(take(32)));
}

uint64_t BitReader::RLL() {
  if (!need(64)) return 0;
  const uint64_t lo = __builtin_bswap32(uint32_t(take(32)));
  const uint64_t hi = __builtin_bswap32(uint32_t(take(32)));
  return lo | (hi << 32);
}

double BitReader::RD() { return doubleFromBits(RLL()); }

int16_t BitReader::BS() {
  switch (BB()) {
    case 0: return int16_t(RS());
    case 1: return int16_t(RC());
    case 2: return 0;
    default: return 256;
  }
}

int32_t BitReader::BL() {
  switch (BB()) {
    case 0: return int32_t(RL());
    case 1: return int32_t(RC());
    case 2: return 0;
    default:
      // Code 3 is not used by the format.
      error_ = true;
      return 0;
  }
}

uint64_t BitReader::BLL() {
  // A 3-bit byte count, then that many bytes, least significant first.
  unsigned n = unsigned(bits(3));
  uint64_t v = 0;
  for (unsigned i = 0; i < n; ++i) v |= uint64_t(RC()) << (8 * i);
  return v;
}

double BitReader::BD() {
  switch (BB()) {
    case 0: return RD();
    case 1: return 1.0;
    case 2: return 0.0;
    default:
      error_ = true;
      return 0.0;
  }
}

double BitReader::DD(double defaultValue) {
  uint64_t v = bitsFromDouble(defaultValue);
  switch (BB()) {
    case 0: return defaultValue;
    case 1: {
      // The four low-order bytes change.
      uint64_t lo = RL();
      v = (v & 0xFFFFFFFF00000000ull) | lo;
      return doubleFromBits(v);
    }
    case 2: {
      // Bytes 4 and 5 first, then bytes 0 to 3.
      uint64_t b4 = RC();
      uint64_t b5 = RC();
      uint64_t lo = RL();
      v = (v & 0xFFFF000000000000ull) | (b5 << 40) | (b4 << 32) | lo;
      return doubleFromBits(v);
    }
    default: return RD();
  }
}

int64_t BitReader::MC() {
  uint64_t v = 0;
  for (unsigned i = 0; i < 10; ++i) {
    uint8_t b = RC();
    if (error_) return 0;
    if (!(b & 0x80)) {
      // Last byte: bit 6 is the sign, bits 0..5 the top of the magnitude.
      v |= uint64_t(b & 0x3F) << (7 * i);
      int64_t m = int64_t(v & 0x7FFFFFFFFFFFFFFFull);
      return (b & 0x40) ? -m : m;
    }
    v |= uint64_t(b & 0x7F) << (7 * i);
  }
  error_ = true;  // more than 10 bytes cannot hold a 64-bit value
  return 0;
}

uint64_t BitReader::UMC() {
  uint64_t v = 0;
  for (unsigned i = 0; i < 10; ++i) {
    uint8_t b = RC();
    if (error_) return 0;
    v |= uint64_t(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) return v;
  }
  error_ = true;
  return 0;
}

uint32_t BitReader::MS() {
  uint64_t v = 0;
  for (unsigned i = 0; i < 3; ++i) {
    uint16_t w = RS();
    if (error_) return 0;
    v |= uint64_t(w & 0x7FFF) << (15 * i);
    if (!(w & 0x8000)) {
      if (v > 0xFFFFFFFFull) break;
      return uint32_t(v);
    }
  }
  error_ = true;
  return 0;
}

HandleRef BitReader::H() {
  HandleRef h;
  if (!need(8)) return h;
  const uint8_t head = uint8_t(take(8));
  h.code = uint8_t(head >> 4);
  const unsigned counter = head & 0x0F;
  if (counter > 8) {
    error_ = true;
    return h;
  }
  // The value's bytes, most significant first.
  if (counter == 0 || !need(8 * counter)) return h;
  if (counter <= 4) {
    h.value = take(8 * counter);
  } else {
    const unsigned low = 8 * (counter - 4);
    h.value = take(32) << low;
    h.value |= take(low);
  }
  if (error_) h.value = 0;  // an earlier failed read makes every later value void
  return h;
}

std::string BitReader::T() {
  size_t len = uint16_t(BS());
  std::string s;
  if (len * 8 > remainingBits()) {
    need(len * 8);
    return s;
  }
  s.resize(len);
  for (size_t i = 0; i < len; ++i) s[i] = char(RC());
  return s;
}

std::u16string BitReader::TU() {
  size_t len = uint16_t(BS());
  std::u16string s;
  if (len * 16 > remainingBits()) {
    need(len * 16);
    return s;
  }
  s.resize(len);
  for (size_t i = 0; i < len; ++i) s[i] = char16_t(RS());
  return s;
}

std::u16string BitReader::TV() {
  if (version_ >= Version::R2007) return TU();
  std::string bytes = T();
  std::u16string s(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) s[i] = char16_t(uint8_t(bytes[i]));
  return s;
}

CmColor BitReader::CMC(BitReader* strings) {
  CmColor c;
  c.index = BS();
  if (version_ < Version::R2004) return c;
  c.rgb = uint32_t(BL());
  c.colorByte = RC();
  // From R2004 the stored index may be left 0; the colour word's method byte says what the colour
  // is: 0xC0 by layer, 0xC1 by block, 0xC3 an index in the low byte (0xC2: a true colour).
  switch (c.rgb >> 24) {
    case 0xC0: c.index = 256; break;
    case 0xC1: c.index = 0; break;
    case 0xC3: c.index = int16_t(c.rgb & 0xFF); break;
    default: break;
  }
  BitReader& s = strings ? *strings : *this;
  if (c.colorByte & 1) c.name = s.TV();
  if (c.colorByte & 2) c.bookName = s.TV();
  if (strings && strings->error()) error_ = true;
  return c;
}

EnColor BitReader::ENC() {
  EnColor c;
  uint16_t v = uint16_t(BS());
  if (version_ < Version::R2004) {
    c.index = int16_t(v);
    return c;
  }
  c.flags = uint16_t(v & 0xFE00);
  c.index = int16_t(v & 0x01FF);
  if (c.flags & 0x8000) c.rgb = uint32_t(BL());
  if (c.flags & 0x2000) c.transparency = uint32_t(BL());
  return c;
}

Point3 BitReader::BE() {
  if (version_ >= Version::R2000 && B()) return Point3{0, 0, 1};
  return BD3();
}

double BitReader::BT() {
  if (version_ >= Version::R2000 && B()) return 0.0;
  return BD();
}

uint16_t BitReader::OT() {
  if (version_ < Version::R2010) return uint16_t(BS());
  switch (BB()) {
    case 0: return RC();
    case 1: return uint16_t(RC() + 0x1F0);
    default: return RS();
  }
}

Point2 BitReader::RD2() {
  Point2 p;
  p.x = RD();
  p.y = RD();
  return p;
}

Point2 BitReader::BD2() {
  Point2 p;
  p.x = BD();
  p.y = BD();
  return p;
}

Point3 BitReader::BD3() {
  Point3 p;
  p.x = BD();
  p.y = BD();
  p.z = BD();
  return p;
}

Point3 BitReader::RD3() {
  Point3 p;
  p.x = RD();
  p.y = RD();
  p.z = RD();
  return p;
}

// ---------------------------------------------------------------------------------------------
// BitWriter

void BitWriter::reserveBits(size_t bitCount) {
  size_t needBytes = (pos_ + bitCount + 7) / 8;
  // The buffer grows in steps and zero-filled, so every byte past the written end reads zero.
  if (buf_.size() < needBytes) buf_.resize(needBytes < 64 ? 64 : needBytes * 2, 0);
}

void BitWriter::setPositionBits(size_t bit) {
  pos_ = bit;
  if (pos_ > endBits_) {
    reserveBits(0);
    endBits_ = pos_;
  }
}

void BitWriter::alignByte() {
  size_t aligned = (pos_ + 7) & ~size_t(7);
  if (aligned != pos_) bits(0, unsigned(aligned - pos_));
}

std::vector<uint8_t> BitWriter::take() {
  buf_.resize((endBits_ + 7) / 8);
  std::vector<uint8_t> out;
  out.swap(buf_);
  pos_ = endBits_ = 0;
  return out;
}

void BitWriter::B(bool v) {
  reserveBits(1);
  uint8_t mask = uint8_t(0x80 >> (pos_ & 7));
  if (v)
    buf_[pos_ >> 3] |= mask;
  else
    buf_[pos_ >> 3] &= uint8_t(~mask);
  ++pos_;
  if (pos_ > endBits_) endBits_ = pos_;
}

void BitWriter::bits(uint64_t v, unsigned count) {
  if (count > 64) count = 64;
  reserveBits(count);
  if (count > 0 && pos_ == endBits_) {
    // Appending: the bits past the end are zero, so the value is or-ed into the partial byte and
    // the whole bytes after it are stored.
    if (count < 64) v &= (uint64_t(1) << count) - 1;
    uint8_t* p = buf_.data() + (pos_ >> 3);
    unsigned left = count;
    if (const unsigned used = unsigned(pos_ & 7)) {
      const unsigned room = 8 - used;
      const unsigned take = left < room ? left : room;
      *p++ |= uint8_t((v >> (left - take)) << (room - take));
      left -= take;
    }
    for (; left >= 8; left -= 8) *p++ = uint8_t(v >> (left - 8));
    if (left) *p = uint8_t(v << (8 - left));
    pos_ += count;
    endBits_ = pos_;
    return;
  }
  while (count > 0) {
    unsigned inByte = 8 - unsigned(pos_ & 7);
    unsigned take = count < inByte ? count : inByte;
    uint8_t part = uint8_t((v >> (count - take)) & ((1u << take) - 1));
    unsigned shift = inByte - take;
    uint8_t mask = uint8_t(((1u << take) - 1) << shift);
    uint8_t& byte = buf_[pos_ >> 3];
    byte = uint8_t((byte & ~mask) | (part << shift));
    pos_ += take;
    count -= take;
  }
  if (pos_ > endBits_) endBits_ = pos_;
}

void BitWriter::BB(uint8_t v) { bits(v & 3, 2); }

void BitWriter::B3(uint8_t v) {
  // Ones followed by a terminating zero, at most three bits: 0 -> 0, 2 -> 10, 6 -> 110, 7 -> 111.
  if (v == 0) {
    B(false);
  } else if (v <= 2) {
    bits(2, 2);
  } else if (v <= 6) {
    bits(6, 3);
  } else {
    bits(7, 3);
  }
}

void BitWriter::RC(uint8_t v) { bits(v, 8); }

// The raw little-endian values go out low byte first: byte-swapped, they are one run of bits.
void BitWriter::RS(uint16_t v) { bits(uint16_t((v << 8) | (v >> 8)), 16); }

void BitWriter::RL(uint32_t v) { bits(__builtin_bswap32(v), 32); }

void BitWriter::RLL(uint64_t v) { bits(__builtin_bswap64(v), 64); }

void BitWriter::RD(double v) { RLL(bitsFromDouble(v)); }

void BitWriter::BS(int16_t v) {
  uint16_t u = uint16_t(v);
  if (u == 0) {
    BB(2);
  } else if (u == 256) {
    BB(3);
  } else if (u < 256) {
    BB(1);
    RC(uint8_t(u));
  } else {
    BB(0);
    RS(u);
  }
}

void BitWriter::BL(int32_t v) {
  uint32_t u = uint32_t(v);
  if (u == 0) {
    BB(2);
  } else if (u < 256) {
    BB(1);
    RC(uint8_t(u));
  } else {
    BB(0);
    RL(u);
  }
}

void BitWriter::BLL(uint64_t v) {
  unsigned n = 0;
  for (uint64_t t = v; t != 0; t >>= 8) ++n;
  if (n > 7) n = 7;  // a 3-bit count holds at most seven bytes
  bits(n, 3);
  for (unsigned i = 0; i < n; ++i) RC(uint8_t(v >> (8 * i)));
}

void BitWriter::BD(double v) {
  uint64_t u = bitsFromDouble(v);
  if (u == bitsFromDouble(0.0)) {
    BB(2);
  } else if (u == bitsFromDouble(1.0)) {
    BB(1);
  } else {
    BB(0);
    RD(v);
  }
}

void BitWriter::DD(double v, double defaultValue) {
  uint64_t u = bitsFromDouble(v);
  uint64_t d = bitsFromDouble(defaultValue);
  if (u == d) {
    BB(0);
  } else if ((u >> 32) == (d >> 32)) {
    BB(1);
    RL(uint32_t(u));
  } else if ((u >> 48) == (d >> 48)) {
    BB(2);
    RC(uint8_t(u >> 32));
    RC(uint8_t(u >> 40));
    RL(uint32_t(u));
  } else {
    BB(3);
    RD(v);
  }
}

void BitWriter::MC(int64_t v) {
  bool negative = v < 0;
  uint64_t m = negative ? uint64_t(0) - uint64_t(v) : uint64_t(v);
  // 7 bits per byte while the rest does not fit in the 6 bits left beside the sign.
  while (m >= 0x40) {
    RC(uint8_t(0x80 | (m & 0x7F)));
    m >>= 7;
  }
  RC(uint8_t(m | (negative ? 0x40 : 0)));
}

void BitWriter::UMC(uint64_t v) {
  while (v >= 0x80) {
    RC(uint8_t(0x80 | (v & 0x7F)));
    v >>= 7;
  }
  RC(uint8_t(v));
}

void BitWriter::MS(uint32_t v) {
  while (v >= 0x8000) {
    RS(uint16_t(0x8000 | (v & 0x7FFF)));
    v >>= 15;
  }
  RS(uint16_t(v));
}

void BitWriter::H(const HandleRef& h) {
  unsigned n = 0;
  for (uint64_t t = h.value; t != 0; t >>= 8) ++n;
  RC(uint8_t((h.code << 4) | n));
  for (unsigned i = n; i > 0; --i) RC(uint8_t(h.value >> (8 * (i - 1))));
}

void BitWriter::T(std::string_view text) {
  size_t n = text.size() > 0x7FFF ? 0x7FFF : text.size();
  BS(int16_t(n));
  for (size_t i = 0; i < n; ++i) RC(uint8_t(text[i]));
}

void BitWriter::TU(std::u16string_view text) {
  size_t n = text.size() > 0x7FFF ? 0x7FFF : text.size();
  BS(int16_t(n));
  for (size_t i = 0; i < n; ++i) RS(uint16_t(text[i]));
}

void BitWriter::TV(std::u16string_view text) {
  if (version_ >= Version::R2007) {
    TU(text);
    return;
  }
  std::string narrow(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) narrow[i] = text[i] <= 0xFF ? char(text[i]) : '?';
  T(narrow);
}

void BitWriter::CMC(const CmColor& c, BitWriter* strings) {
  BS(c.index);
  if (version_ < Version::R2004) return;
  BL(int32_t(c.rgb));
  // The flag bits follow the names actually present, so reader and writer always agree.
  uint8_t flagByte = uint8_t(c.colorByte & ~3u);
  if (!c.name.empty()) flagByte |= 1;
  if (!c.bookName.empty()) flagByte |= 2;
  RC(flagByte);
  BitWriter& s = strings ? *strings : *this;
  if (flagByte & 1) s.TV(c.name);
  if (flagByte & 2) s.TV(c.bookName);
}

void BitWriter::ENC(const EnColor& c) {
  if (version_ < Version::R2004) {
    BS(c.index);
    return;
  }
  BS(int16_t((c.flags & 0xFE00) | (uint16_t(c.index) & 0x01FF)));
  if (c.flags & 0x8000) BL(int32_t(c.rgb));
  if (c.flags & 0x2000) BL(int32_t(c.transparency));
}

void BitWriter::BE(const Point3& p) {
  if (version_ >= Version::R2000) {
    bool unit = bitsFromDouble(p.x) == 0 && bitsFromDouble(p.y) == 0 && p.z == 1.0;
    B(unit);
    if (unit) return;
  }
  BD3(p);
}

void BitWriter::BT(double v) {
  if (version_ >= Version::R2000) {
    bool zero = bitsFromDouble(v) == 0;
    B(zero);
    if (zero) return;
  }
  BD(v);
}

void BitWriter::OT(uint16_t type) {
  if (version_ < Version::R2010) {
    BS(int16_t(type));
  } else if (type < 0x100) {
    BB(0);
    RC(uint8_t(type));
  } else if (type >= 0x1F0 && type < 0x2F0) {
    BB(1);
    RC(uint8_t(type - 0x1F0));
  } else {
    BB(2);
    RS(type);
  }
}

void BitWriter::RD2(const Point2& p) {
  RD(p.x);
  RD(p.y);
}

void BitWriter::BD2(const Point2& p) {
  BD(p.x);
  BD(p.y);
}

void BitWriter::BD3(const Point3& p) {
  BD(p.x);
  BD(p.y);
  BD(p.z);
}

void BitWriter::RD3(const Point3& p) {
  RD(p.x);
  RD(p.y);
  RD(p.z);
}

}  // namespace kel::dwg
