#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/dwg/crc.h"

using namespace kel::dwg;

namespace {
const uint8_t* digits() { return reinterpret_cast<const uint8_t*>("123456789"); }
}  // namespace

TEST(DwgCrc, KnownVectors) {
  // CRC-16/ARC and CRC-32 check values; Adler-32 of "Wikipedia" (seed 1).
  EXPECT_EQ(crc16(0, digits(), 9), 0xBB3D);
  EXPECT_EQ(crc32(digits(), 9), 0xCBF43926u);
  EXPECT_EQ(checksum2004(1, reinterpret_cast<const uint8_t*>("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(crc16(kCrc16Seed, digits(), 0), kCrc16Seed);
  EXPECT_EQ(crc32(digits(), 0), 0u);
}

TEST(DwgCrc, RunningValuesChainAcrossSplits) {
  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + (i >> 7));
  const size_t cut = 12345;
  EXPECT_EQ(crc16(crc16(kCrc16Seed, data.data(), cut), data.data() + cut, data.size() - cut),
            crc16(kCrc16Seed, data.data(), data.size()));
  EXPECT_EQ(crc32(data.data() + cut, data.size() - cut, crc32(data.data(), cut)),
            crc32(data.data(), data.size()));
  // The page checksum seeds the header sum with the data sum; splitting must not matter either,
  // and long runs of 0xFF must not overflow the sums.
  std::vector<uint8_t> ff(0x20000, 0xFF);
  uint32_t whole = checksum2004(0, ff.data(), ff.size());
  EXPECT_EQ(checksum2004(checksum2004(0, ff.data(), 0x15B0), ff.data() + 0x15B0, ff.size() - 0x15B0),
            whole);
  EXPECT_LT(whole & 0xFFFF, 0xFFF1u);
  EXPECT_LT(whole >> 16, 0xFFF1u);
}
