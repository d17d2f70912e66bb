// The checksums of the DWG format.
//
// crc16:  the 16-bit CRC found after the file header, sections, object records and handle-map
//         chunks of every version (reflected polynomial 0xA001). The seed depends on the use:
//         0xC0C1 for most, 0 for object records; chaining calls continues a running CRC.
// crc32:  the usual reflected CRC-32 (polynomial 0xEDB88320, inverted before and after), found in
//         the R2004+ encrypted file header.
// checksum2004: the Adler-style sum of the R2004+ page headers and pages: two 16-bit sums modulo
//         0xFFF1 packed as (sum2 << 16) | sum1, continuing from `seed` (seed 1 gives Adler-32).
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace kel::dwg {

inline constexpr uint16_t kCrc16Seed = 0xC0C1;

uint16_t crc16(uint16_t seed, const uint8_t* data, size_t size);
inline uint16_t crc16(uint16_t seed, std::span<const uint8_t> data) {
  return crc16(seed, data.data(), data.size());
}

// `previous` is the CRC of the bytes before `data` (0 to start).
uint32_t crc32(const uint8_t* data, size_t size, uint32_t previous = 0);
inline uint32_t crc32(std::span<const uint8_t> data, uint32_t previous = 0) {
  return crc32(data.data(), data.size(), previous);
}

uint32_t checksum2004(uint32_t seed, const uint8_t* data, size_t size);
inline uint32_t checksum2004(uint32_t seed, std::span<const uint8_t> data) {
  return checksum2004(seed, data.data(), data.size());
}

}  // namespace kel::dwg
