#include "engine/dwg/crc.h"

#include <array>

namespace kel::dwg {

namespace {

template <typename T, T Poly>
constexpr std::array<T, 256> makeTable() {
  std::array<T, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    T c = T(i);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? T((c >> 1) ^ Poly) : T(c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr auto kCrc16Table = makeTable<uint16_t, 0xA001>();
constexpr auto kCrc32Table = makeTable<uint32_t, 0xEDB88320u>();

// Eight tables for the 16-bit CRC: table k gives the effect of a byte followed by k zero bytes, so
// eight bytes are folded in with eight independent look-ups instead of a chain of eight.
struct Crc16Slices {
  std::array<std::array<uint16_t, 256>, 8> t{};
  constexpr Crc16Slices() {
    t[0] = kCrc16Table;
    for (size_t k = 1; k < 8; ++k)
      for (size_t b = 0; b < 256; ++b) t[k][b] = uint16_t((t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF]);
  }
};
constexpr Crc16Slices kCrc16Slices;

}  // namespace

uint16_t crc16(uint16_t seed, const uint8_t* data, size_t size) {
  uint16_t crc = seed;
  const auto& t = kCrc16Slices.t;
  for (; size >= 8; size -= 8, data += 8) {
    const unsigned b0 = (crc ^ data[0]) & 0xFF, b1 = ((crc >> 8) ^ data[1]) & 0xFF;
    crc = uint16_t(t[7][b0] ^ t[6][b1] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^ t[2][data[5]] ^
                   t[1][data[6]] ^ t[0][data[7]]);
  }
  for (size_t i = 0; i < size; ++i) crc = uint16_t((crc >> 8) ^ kCrc16Table[(crc ^ data[i]) & 0xFF]);
  return crc;
}

uint32_t crc32(const uint8_t* data, size_t size, uint32_t previous) {
  uint32_t crc = ~previous;
  for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kCrc32Table[(crc ^ data[i]) & 0xFF];
  return ~crc;
}

uint32_t checksum2004(uint32_t seed, const uint8_t* data, size_t size) {
  uint32_t sum1 = seed & 0xFFFF;
  uint32_t sum2 = seed >> 16;
  // 0x15B0 bytes is the longest run whose sums cannot overflow 32 bits before the reduction.
  while (size > 0) {
    size_t chunk = size < 0x15B0 ? size : 0x15B0;
    size -= chunk;
    for (size_t i = 0; i < chunk; ++i) {
      sum1 += *data++;
      sum2 += sum1;
    }
    sum1 %= 0xFFF1;
    sum2 %= 0xFFF1;
  }
  return (sum2 << 16) | (sum1 & 0xFFFF);
}

}  // namespace kel::dwg
