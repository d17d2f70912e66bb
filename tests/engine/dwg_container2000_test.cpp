#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/dwg/container2000.h"
#include "engine/dwg/crc.h"
#include "tests/engine/dwg_container_corpus.h"

using namespace kel::dwg;
using kel::test::dwgCorpusFiles;
using kel::test::readDwgCorpusFile;

namespace {

const std::set<std::string> kTags2000 = {"AC1012", "AC1014", "AC1015"};

std::vector<uint8_t> sample() { return readDwgCorpusFile("libredwg_sample_2000.dwg"); }

void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Appends one object-map chunk (big-endian size, pairs, big-endian CRC) holding `pairs` as
// (handle delta, signed offset delta).
void addChunk(std::vector<uint8_t>& map, const std::vector<std::pair<uint64_t, int64_t>>& pairs) {
  std::vector<uint8_t> body;
  for (auto [dh, doff] : pairs) {
    do {
      uint8_t b = dh & 0x7F;
      dh >>= 7;
      body.push_back(uint8_t(b | (dh ? 0x80 : 0)));
    } while (dh);
    uint64_t mag = uint64_t(doff < 0 ? -doff : doff);
    while (mag >= 0x40) {
      body.push_back(uint8_t(0x80 | (mag & 0x7F)));
      mag >>= 7;
    }
    body.push_back(uint8_t(mag | (doff < 0 ? 0x40 : 0)));
  }
  size_t at = map.size();
  uint16_t size = uint16_t(body.size() + 2);
  map.push_back(uint8_t(size >> 8));
  map.push_back(uint8_t(size));
  map.insert(map.end(), body.begin(), body.end());
  uint16_t crc = crc16(kCrc16Seed, map.data() + at, map.size() - at);
  map.push_back(uint8_t(crc >> 8));
  map.push_back(uint8_t(crc));
}

}  // namespace

TEST(DwgContainer2000, EveryCorpusFileOpensWithAllChecksPassing) {
  const auto names = dwgCorpusFiles(kTags2000);
  ASSERT_EQ(names.size(), 30u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = readDwgCorpusFile(name);
    Container2000 c;
    ASSERT_EQ(readContainer2000(file, c), Acad::eOk);
    EXPECT_EQ(c.optionalStatus, Acad::eOk);
    EXPECT_EQ(c.header.record.size(), c.header.data.size() + 38);
    EXPECT_EQ(c.classes.record.size(), c.classes.data.size() + 38);
    EXPECT_EQ(0, std::memcmp(c.header.record.data(), kSentinelHeaderVars.data(), 16));
    EXPECT_TRUE(c.preview.present);
    EXPECT_TRUE(c.secondHeader.present);
    EXPECT_TRUE(c.templ.present);
    EXPECT_EQ(c.auxHeader.present, c.version == Version::R2000);

    // Handles strictly increase, and every offset leads to an object record whose CRC holds.
    ASSERT_FALSE(c.objects.empty());
    EXPECT_EQ(c.objects.front().handle, 1u);
    for (size_t i = 0; i < c.objects.size(); ++i) {
      if (i) {
        ASSERT_LT(c.objects[i - 1].handle, c.objects[i].handle);
      }
      std::span<const uint8_t> rec;
      ASSERT_EQ(readObjectRecord(file, c.objects[i].offset, &rec), Acad::eOk) << i;
      EXPECT_FALSE(rec.empty());
    }
  }
}

TEST(DwgContainer2000, ReadsTheLocatorTableAndFixedFields) {
  Container2000 c;
  ASSERT_EQ(readContainer2000(readDwgCorpusFile("libredwg_2000_Arc.dwg"), c), Acad::eOk);
  EXPECT_EQ(c.version, Version::R2000);
  EXPECT_EQ(c.maintenanceVersion, 0x0F);
  EXPECT_EQ(c.codePage, 30);
  EXPECT_EQ(c.previewAddress, 0xDCu);
  ASSERT_EQ(c.locators.size(), 6u);
  EXPECT_EQ(c.header.offset, 27531u);
  EXPECT_EQ(c.header.record.size(), 518u);
  EXPECT_EQ(c.classes.offset, 28049u);
  EXPECT_EQ(c.objectMap.offset, 172864u);
  EXPECT_EQ(c.objectMap.record.size(), 700u);
  EXPECT_FALSE(c.objFreeSpace.present);
  EXPECT_EQ(c.auxHeader.offset, 97u);
  EXPECT_EQ(c.secondHeader.offset, 172864u + 700u);
  EXPECT_EQ(c.objects.size(), 222u);
  EXPECT_EQ(c.objects.front(), (ObjectMapEntry{1, 29101}));

  // R13: five records, a free-space record, and a second header without the trailing bytes.
  ASSERT_EQ(readContainer2000(readDwgCorpusFile("libredwg_example_r13.dwg"), c), Acad::eOk);
  EXPECT_EQ(c.version, Version::R13);
  EXPECT_EQ(c.locators.size(), 5u);
  EXPECT_TRUE(c.objFreeSpace.present);
  EXPECT_EQ(c.secondHeader.offset, c.objFreeSpace.offset + 53);
  EXPECT_EQ(c.objects.size(), 5785u);
}

TEST(DwgContainer2000, DamageIsReportedWhereItIs) {
  const std::vector<uint8_t> good = sample();
  Container2000 c;
  ASSERT_EQ(readContainer2000(good, c), Acad::eOk);
  const size_t headerAt = c.header.offset, classesAt = c.classes.offset, mapAt = c.objectMap.offset;
  const size_t objectCount = c.objects.size();

  auto withByte = [&](size_t at, uint8_t x) {
    std::vector<uint8_t> f = good;
    f[at] ^= x;
    return f;
  };
  // A locator byte: the file-header CRC.
  ASSERT_EQ(readContainer2000(withByte(0x1B, 0x01), c), Acad::eDwgCRCDoesNotMatch);
  EXPECT_EQ(c.fileHeaderStatus, Acad::eDwgCRCDoesNotMatch);
  // The file-header end sentinel.
  EXPECT_EQ(readContainer2000(withByte(0x19 + 6 * 9 + 2, 0x10), c), Acad::eDwgSentinelDoesNotMatch);
  // Header variables payload: CRC; classes start sentinel: sentinel.
  EXPECT_EQ(readContainer2000(withByte(headerAt + 40, 0x04), c), Acad::eDwgCRCDoesNotMatch);
  EXPECT_EQ(c.header.status, Acad::eDwgCRCDoesNotMatch);
  EXPECT_EQ(c.classes.status, Acad::eOk);
  EXPECT_EQ(readContainer2000(withByte(classesAt + 3, 0xFF), c), Acad::eDwgSentinelDoesNotMatch);
  EXPECT_EQ(c.classes.status, Acad::eDwgSentinelDoesNotMatch);
  EXPECT_EQ(c.header.status, Acad::eOk);
  // The object map's CRC byte: reported, but every entry is still decoded.
  const size_t firstChunk = size_t(good[mapAt] << 8 | good[mapAt + 1]);
  EXPECT_EQ(readContainer2000(withByte(mapAt + firstChunk + 1, 0x01), c), Acad::eDwgCRCDoesNotMatch);
  EXPECT_EQ(c.objectMap.status, Acad::eDwgCRCDoesNotMatch);
  EXPECT_EQ(c.objects.size(), objectCount);
  // A broken preview leaves the mandatory parts sound.
  EXPECT_EQ(readContainer2000(withByte(c.previewAddress + 2, 0x01), c), Acad::eOk);
  EXPECT_EQ(c.optionalStatus, Acad::eDwgSentinelDoesNotMatch);
}

TEST(DwgContainer2000, ImpossibleValuesAndForeignFilesAreRefused) {
  const std::vector<uint8_t> good = sample();
  Container2000 c;
  std::vector<uint8_t> f = good;
  putLe32(f, 0x19 + 5, 0xFFFFFFF0u);  // header variables size
  readContainer2000(f, c);
  EXPECT_EQ(c.header.status, Acad::eDwgNeedsRecovery);
  f = good;
  putLe32(f, 0x19 + 1, 4);  // header variables inside the file header
  readContainer2000(f, c);
  EXPECT_EQ(c.header.status, Acad::eDwgNeedsRecovery);
  f = good;
  putLe32(f, 0x15, 100000);  // record count
  EXPECT_EQ(readContainer2000(f, c), Acad::eBadDwgHeader);
  f = good;
  f[0x19 + 2 * 9] = 9;  // the object map's record renumbered: map missing
  readContainer2000(f, c);
  EXPECT_EQ(c.objectMap.status, Acad::eFileMissingSections);
  // A preview whose sentinel sits in the last bytes of the file.
  f = good;
  putLe32(f, 0x0D, uint32_t(f.size() - 20));
  std::memcpy(f.data() + f.size() - 20, kSentinelPreview.data(), 16);
  putLe32(f, f.size() - 4, 0);
  readContainer2000(f, c);
  EXPECT_EQ(c.preview.status, Acad::eDwgNeedsRecovery);
  f = good;
  std::memcpy(f.data(), "AC1018", 6);
  EXPECT_EQ(readContainer2000(f, c), Acad::eInvalidDwgVersion);
  std::memcpy(f.data(), "GIF89a", 6);
  EXPECT_EQ(readContainer2000(f, c), Acad::eBadDwgHeader);
  EXPECT_EQ(readContainer2000({}, c), Acad::eBadDwgHeader);
}

TEST(DwgContainer2000, TruncationAndRandomDamageNeverCrash) {
  const std::vector<uint8_t> good = sample();
  Container2000 c;
  for (size_t len = 0; len < good.size(); len += (len < 300 ? 1 : 61)) {
    std::span<const uint8_t> cut(good.data(), len);
    // Cutting into the trailing optional regions leaves the mandatory ones readable.
    EXPECT_TRUE(readContainer2000(cut, c) != Acad::eOk || c.optionalStatus != Acad::eOk) << len;
    for (const ObjectMapEntry& e : c.objects) ASSERT_LT(e.offset, len);
  }
  kel::test::TestRng rng(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> f = good;
    for (int k = 0; k < 1 + round % 8; ++k) f[rng.below(f.size())] = uint8_t(rng.next());
    readContainer2000(f, c);
    for (const ObjectMapEntry& e : c.objects) ASSERT_LT(e.offset, f.size());
  }
}

TEST(DwgContainer2000, ObjectMapChunksRestartTheirRunningValues) {
  std::vector<uint8_t> map;
  addChunk(map, {{5, 1000}, {1, 20}, {3, -500}});
  addChunk(map, {{20, 600}, {2, 10}});
  addChunk(map, {});
  std::vector<ObjectMapEntry> out;
  ASSERT_EQ(decodeObjectMap(map, 2000, out), Acad::eOk);
  EXPECT_EQ(out, (std::vector<ObjectMapEntry>{{5, 1000}, {6, 1020}, {9, 520}, {20, 600}, {22, 610}}));

  // A chunk that goes back in handles, an offset outside the limit, a missing end chunk.
  std::vector<uint8_t> back;
  addChunk(back, {{5, 10}});
  addChunk(back, {{5, 10}});
  addChunk(back, {});
  out.clear();
  EXPECT_EQ(decodeObjectMap(back, 2000, out), Acad::eDwgNeedsRecovery);
  out.clear();
  EXPECT_EQ(decodeObjectMap(map, 1000, out), Acad::eDwgNeedsRecovery);
  out.clear();
  EXPECT_EQ(decodeObjectMap(std::span(map).first(map.size() - 4), 2000, out), Acad::eDwgNeedsRecovery);
  std::vector<uint8_t> negative;
  addChunk(negative, {{1, -1}});
  addChunk(negative, {});
  out.clear();
  EXPECT_EQ(decodeObjectMap(negative, 2000, out), Acad::eDwgNeedsRecovery);
}
