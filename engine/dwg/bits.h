// Bit-level reading and writing of DWG object data.
//
// DWG stores most values in a bit stream: bits are taken from the most significant bit of each
// byte first, and multi-byte raw values are little-endian. The compressed codes (BS, BL, BD, ...)
// put a short prefix in front of the value that says how many bits follow.
//
// BitReader never reads outside its byte view. A read past the end yields zeros and sets a sticky
// error flag; callers check error() once per object instead of after every value.
// BitWriter appends to a growing buffer; its position can be moved back to patch earlier values.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kel::dwg {

// The file versions whose bit encodings differ. Comparisons follow release order.
enum class Version : uint8_t {
  R13,    // AC1012
  R14,    // AC1014
  R2000,  // AC1015
  R2004,  // AC1018
  R2007,  // AC1021
  R2010,  // AC1024
  R2013,  // AC1027
  R2018,  // AC1032
};

struct Point2 {
  double x = 0, y = 0;
  bool operator==(const Point2&) const = default;
};

struct Point3 {
  double x = 0, y = 0, z = 0;
  bool operator==(const Point3&) const = default;
};

// A handle reference: 4-bit reference code and the handle value (or offset, for codes 6..0xC).
struct HandleRef {
  uint8_t code = 0;
  uint64_t value = 0;
  bool operator==(const HandleRef&) const = default;
};

// CMC colour (table entries, header variables). From R2004 on it carries a true colour and
// optional colour and book names.
struct CmColor {
  int16_t index = 0;
  uint32_t rgb = 0;
  uint8_t colorByte = 0;  // bit 0: name present, bit 1: book name present
  std::u16string name;
  std::u16string bookName;
  bool operator==(const CmColor&) const = default;
};

// ENC colour (entity colour, R2004+). The upper bits of the first short are flags:
// 0x8000 true colour follows, 0x4000 the colour is a reference in the handle stream,
// 0x2000 a transparency follows. The lower 9 bits are the colour index (256 = by layer).
struct EnColor {
  int16_t index = 0;
  uint16_t flags = 0;
  uint32_t rgb = 0;
  uint32_t transparency = 0;
  bool operator==(const EnColor&) const = default;
};

class BitReader {
 public:
  BitReader() = default;
  BitReader(const uint8_t* data, size_t size, Version v = Version::R2000)
      : data_(data), bytes_(data ? size : 0), endBits_(data ? size * 8 : 0), version_(v) {}
  explicit BitReader(std::span<const uint8_t> bytes, Version v = Version::R2000)
      : BitReader(bytes.data(), bytes.size(), v) {}

  Version version() const { return version_; }
  void setVersion(Version v) { version_ = v; }

  bool error() const { return error_; }
  void setError() { error_ = true; }
  void clearError() { error_ = false; }

  // Position and size in bits. Setting a position beyond the end sets the error and moves to the end.
  size_t positionBits() const { return pos_; }
  void setPositionBits(size_t bit);
  size_t sizeBits() const { return endBits_; }
  size_t remainingBits() const { return endBits_ - pos_; }
  // Narrows the readable range to its first `bits` bits (never widens it).
  void limitBits(size_t bits);
  // Moves to the next byte boundary (no-op when already aligned).
  void alignByte();
  const uint8_t* data() const { return data_; }

  // Raw bits.
  bool B();
  uint8_t BB();
  uint8_t B3();  // "3B": up to three bits, stops at the first 0; values 0, 2, 6, 7
  uint64_t bits(unsigned count);  // up to 64 bits, first bit most significant

  // Compressed numbers.
  int16_t BS();
  int32_t BL();
  uint64_t BLL();
  double BD();
  double DD(double defaultValue);

  // Raw values (not byte-aligned unless the stream happens to be).
  uint8_t RC();
  uint16_t RS();
  uint32_t RL();
  uint64_t RLL();
  double RD();

  // Modular values: 7 bits per byte (MC/UMC) or 15 bits per short (MS), continuation in the top bit.
  int64_t MC();
  uint64_t UMC();
  uint32_t MS();

  HandleRef H();

  // Texts. T: 8-bit bytes as stored (the drawing's code page); TU: UTF-16 units as stored.
  // TV is T before R2007 (each byte widened to one unit) and TU from R2007 on.
  std::string T();
  std::u16string TU();
  std::u16string TV();

  // Colours. From R2007 on the names of a CMC colour live in the string stream: pass that reader
  // as `strings`; when null the names are read from this stream.
  CmColor CMC(BitReader* strings = nullptr);
  EnColor ENC();

  Point3 BE();     // extrusion: R2000+ a single 1 bit stands for (0,0,1)
  double BT();     // thickness: R2000+ a single 1 bit stands for 0.0
  uint16_t OT();   // object type: BS before R2010, a 2-bit coded byte or short after

  Point2 RD2();
  Point2 BD2();
  Point3 BD3();
  Point3 RD3();

 private:
  // Whether `bitCount` more bits are there; when not, the read yields zeros and the stream stays
  // at its end with the error set.
  bool need(size_t bitCount) { return bitCount <= endBits_ - pos_ || fail(); }
  bool fail();
  // The next `count` bits (1..57, checked with need()), first bit most significant. Where eight
  // bytes of the view remain from the current byte they are loaded at once.
  uint64_t take(unsigned count) {
    const size_t byte = pos_ >> 3;
    if (byte + 8 > bytes_) return takeNearEnd(count);
    uint64_t w;
    std::memcpy(&w, data_ + byte, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    w <<= pos_ & 7;
    pos_ += count;
    return w >> (64 - count);
  }
  uint64_t takeNearEnd(unsigned count);

  const uint8_t* data_ = nullptr;
  size_t bytes_ = 0;  // the whole view, even when the readable range is narrowed
  size_t endBits_ = 0;
  size_t pos_ = 0;
  Version version_ = Version::R2000;
  bool error_ = false;
};

class BitWriter {
 public:
  explicit BitWriter(Version v = Version::R2000) : version_(v) {}

  Version version() const { return version_; }
  void setVersion(Version v) { version_ = v; }

  // The position may be moved back over written data to patch it; writes then overwrite.
  // Moving beyond the written end pads with zero bits.
  size_t positionBits() const { return pos_; }
  void setPositionBits(size_t bit);
  size_t sizeBits() const { return endBits_; }
  void alignByte();  // pads with zero bits to the next byte boundary

  // Written bytes; the last byte is zero-padded when the size is not a multiple of 8 bits.
  std::span<const uint8_t> bytes() const { return {buf_.data(), (endBits_ + 7) / 8}; }
  std::vector<uint8_t> take();
  void clear() { buf_.clear(); pos_ = endBits_ = 0; }  // empties the writer, keeping its buffer

  void B(bool v);
  void BB(uint8_t v);
  void B3(uint8_t v);  // 0, 2, 6 or 7
  void bits(uint64_t v, unsigned count);

  void BS(int16_t v);
  void BL(int32_t v);
  void BLL(uint64_t v);
  void BD(double v);
  void DD(double v, double defaultValue);

  void RC(uint8_t v);
  void RS(uint16_t v);
  void RL(uint32_t v);
  void RLL(uint64_t v);
  void RD(double v);

  void MC(int64_t v);
  void UMC(uint64_t v);
  void MS(uint32_t v);

  // Writes the shortest form of the handle value (no counter bytes for 0).
  void H(const HandleRef& h);
  void H(uint8_t code, uint64_t value) { H(HandleRef{code, value}); }

  void T(std::string_view text);       // longer texts are cut at 32767 bytes
  void TU(std::u16string_view text);   // longer texts are cut at 32767 units
  // Before R2007 each unit is narrowed to one byte (units above 0xFF become '?').
  void TV(std::u16string_view text);

  void CMC(const CmColor& c, BitWriter* strings = nullptr);
  void ENC(const EnColor& c);

  void BE(const Point3& p);
  void BT(double v);
  void OT(uint16_t type);

  void RD2(const Point2& p);
  void BD2(const Point2& p);
  void BD3(const Point3& p);
  void RD3(const Point3& p);

 private:
  void reserveBits(size_t bitCount);

  std::vector<uint8_t> buf_;
  size_t pos_ = 0;
  size_t endBits_ = 0;
  Version version_ = Version::R2000;
};

}  // namespace kel::dwg
