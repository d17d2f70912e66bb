#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dwg/container2007.h"
#include "engine/dwg/rs.h"
#include "tests/engine/dwg_container_corpus.h"

using namespace kel::dwg;
using kel::test::dwgCorpusFiles;
using kel::test::readDwgCorpusFile;

namespace {

std::vector<uint8_t> arc() { return readDwgCorpusFile("libredwg_2007_Arc.dwg"); }

std::vector<uint8_t> bytesOf(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

std::vector<uint8_t> inflate(const std::vector<uint8_t>& src, size_t capacity, bool* ok) {
  std::vector<uint8_t> out(capacity);
  size_t produced = 0;
  *ok = decompress2007(src, out, &produced);
  out.resize(produced);
  return out;
}

}  // namespace

TEST(DwgContainer2007, EveryCorpusFileOpensAndEverySectionReassembles) {
  const auto names = dwgCorpusFiles({"AC1021"});
  ASSERT_EQ(names.size(), 19u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = readDwgCorpusFile(name);
    Container2007 c;
    ASSERT_EQ(readContainer2007(file, c), Acad::eOk);
    EXPECT_EQ(c.optionalStatus, Acad::eOk);
    EXPECT_EQ(c.repairs.corrected, 0u);
    EXPECT_EQ(c.repairs.uncorrectable, 0u);
    EXPECT_EQ(uint64_t(c.header.fileSize), file.size());
    for (const Section2007& s : c.sections) {
      SCOPED_TRACE(std::string(s.name.begin(), s.name.end()));
      EXPECT_EQ(s.status, Acad::eOk);
      EXPECT_EQ(s.data.size(), s.pages.empty() ? 0 : s.dataSize);
    }
    auto header = c.sectionData(u"AcDb:Header");
    ASSERT_GE(header.size(), 16u);
    EXPECT_EQ(0, std::memcmp(header.data(), kSentinelHeaderVars.data(), 16));
    for (const char16_t* n : {u"AcDb:Classes", u"AcDb:Preview", u"AcDb:AuxHeader", u"AcDb:Template"})
      EXPECT_FALSE(c.sectionData(n).empty());

    // The object map lists increasing handles whose records (size, data, CRC) sit in the objects.
    auto objects = c.sectionData(u"AcDb:AcDbObjects");
    ASSERT_FALSE(c.objects.empty());
    for (size_t i = 0; i < c.objects.size(); ++i) {
      if (i) {
        ASSERT_LT(c.objects[i - 1].handle, c.objects[i].handle);
      }
      ASSERT_EQ(readObjectRecord(objects, c.objects[i].offset, nullptr), Acad::eOk) << i;
    }
  }
}

TEST(DwgContainer2007, DecodesTheHeaderAndMapsOfAKnownFile) {
  Container2007 c;
  ASSERT_EQ(readContainer2007(arc(), c), Acad::eOk);
  EXPECT_EQ(c.maintenanceVersion, 0x32);
  EXPECT_EQ(c.codePage, 30);
  EXPECT_EQ(c.previewAddress, 0xD20u);
  EXPECT_EQ(c.summaryInfoAddress, 0xC80u);
  EXPECT_EQ(c.header.headerSize, 0x70);
  EXPECT_EQ(c.header.pagesMapCorrection, 7);
  EXPECT_EQ(c.header.sectionsMapCorrection, 4);
  EXPECT_EQ(c.header.streamVersion, 0x60100);
  ASSERT_EQ(c.pages.size(), 20u);
  EXPECT_EQ(c.pages[0].offset, 0x480u);
  EXPECT_EQ(c.sections.size(), 14u);  // the last one unnamed and empty
  const Section2007* objects = c.find(u"AcDb:AcDbObjects");
  ASSERT_NE(objects, nullptr);
  EXPECT_EQ(objects->pages.size(), 4u);
  EXPECT_EQ(objects->data.size(), 0x302C6u);
  EXPECT_EQ(c.objects.size(), 211u);
  EXPECT_EQ(c.sectionData(u"AcDb:Template").size(), 6u);
  EXPECT_EQ(c.takeSectionData(u"AcDb:AcDbObjects").size(), 0x302C6u);
  EXPECT_TRUE(c.sectionData(u"AcDb:AcDbObjects").empty());
  EXPECT_TRUE(c.takeSectionData(u"AcDb:NoSuchSection").empty());
}

TEST(DwgContainer2007, DecompressorLiteralOrderMatchesAndOverlappingCopies) {
  bool ok = false;
  // Ten literals (length code 2): the last stored byte first, then bytes 1..8, then byte 0.
  std::vector<uint8_t> src = {0x02};
  auto text = bytesOf("ABCDEFGHIJ");
  src.insert(src.end(), text.begin(), text.end());
  EXPECT_EQ(inflate(src, 64, &ok), bytesOf("JBCDEFGHIA"));
  EXPECT_TRUE(ok);
  // Thirty-two literals: four 8-byte quarters, last to first.
  src = {0x0F, 0x09};
  auto block = bytesOf("00000000111111112222222233333333");
  src.insert(src.end(), block.begin(), block.end());
  EXPECT_EQ(inflate(src, 64, &ok), bytesOf("33333333222222221111111100000000"));
  // Eight literals, then a 5-byte match at distance 1 overlapping its own output.
  src = {0x00};
  auto eight = bytesOf("abcdefgh");
  src.insert(src.end(), eight.begin(), eight.end());
  src.insert(src.end(), {0x50, 0x00});
  EXPECT_EQ(inflate(src, 64, &ok), bytesOf("abcdefghhhhhh"));
  EXPECT_TRUE(ok);

  // Output that does not fit, a distance reaching before the start, a stream cut short, and an
  // endless literal-length extension: all refused.
  inflate(src, 12, &ok);
  EXPECT_FALSE(ok);
  std::vector<uint8_t> far = src;
  far[far.size() - 2] = 0x5F;
  far.back() = 0xF8;
  inflate(far, 64, &ok);
  EXPECT_FALSE(ok);
  inflate(std::vector<uint8_t>(src.begin(), src.begin() + 5), 64, &ok);
  EXPECT_FALSE(ok);
  std::vector<uint8_t> longRun = {0x0F, 0xFF};
  for (int i = 0; i < 1000; ++i) longRun.insert(longRun.end(), {0xFF, 0xFF});
  inflate(longRun, 1 << 20, &ok);
  EXPECT_FALSE(ok);
  inflate({}, 64, &ok);
  EXPECT_FALSE(ok);
}

TEST(DwgContainer2007, ReedSolomonRepairsUpToHalfItsParity) {
  const std::vector<uint8_t> file = arc();
  // The first code word of the file header, de-interleaved.
  std::array<uint8_t, 255> word{};
  for (size_t j = 0; j < 255; ++j) word[j] = file[0x80 + 3 * j];
  const auto good = word;
  ASSERT_EQ(rs::correct(rs::Code::System, word), 0);
  kel::test::TestRng rng(3);
  for (int errors = 1; errors <= 8; ++errors) {
    word = good;
    for (int e = 0; e < errors; ++e) word[(size_t(e) * 31 + rng.below(31)) % 255] ^= uint8_t(1 + rng.below(255));
    ASSERT_EQ(rs::correct(rs::Code::System, word), errors);
    EXPECT_EQ(word, good);
  }

  Container2007 c;
  ASSERT_EQ(readContainer2007(file, c), Acad::eOk);
  const Page2007& handlesPage = c.pages[14];  // id 15: the object map's only page, three words
  ASSERT_EQ(handlesPage.id, 15);
  for (size_t j = 0; j < 255; ++j) word[j] = file[handlesPage.offset + 3 * j + 1];
  const auto dataWord = word;
  ASSERT_EQ(rs::correct(rs::Code::Data, word), 0);
  word[0] ^= 0x01;
  word[254] ^= 0xFF;
  ASSERT_EQ(rs::correct(rs::Code::Data, word), 2);
  EXPECT_EQ(word, dataWord);
  std::vector<uint8_t> out;
  EXPECT_FALSE(rs::deinterleave(rs::Code::Data, std::span(file).first(254), 1, out, true));
  EXPECT_TRUE(out.empty());

  // Damage spread over the file header, both maps and a data page is repaired while reading.
  std::vector<uint8_t> damaged = file;
  for (size_t at : {size_t(0x80), size_t(0x81), size_t(0x300), size_t(0x480 + 7), size_t(c.pages[17].offset + 5),
                    size_t(c.pages[18].offset + 100), size_t(handlesPage.offset + 2)})
    damaged[at] ^= 0x5A;
  ASSERT_EQ(readContainer2007(damaged, c), Acad::eOk);
  EXPECT_EQ(c.repairs.corrected, 7u);
  EXPECT_EQ(c.objects.size(), 211u);

  // Beyond repair in the file header: reported, never trusted blindly.
  damaged = file;
  for (size_t j = 0; j < 40; ++j) damaged[0x80 + 3 * j] ^= 0xA5;
  EXPECT_NE(readContainer2007(damaged, c), Acad::eOk);
}

TEST(DwgContainer2007, TruncationGarbageAndTightBudgetsYieldStatuses) {
  const std::vector<uint8_t> file = arc();
  Container2007 c;
  for (size_t len = 0; len < file.size(); len += (len < 0x500 ? 13 : 997))
    EXPECT_NE(readContainer2007(std::span(file).first(len), c), Acad::eOk) << len;

  kel::test::TestRng rng(11);
  for (int round = 0; round < 40; ++round) {
    std::vector<uint8_t> f = file;
    // Random bytes over a random stretch: more than the codes can repair.
    size_t at = rng.below(f.size()), n = 1 + rng.below(4000);
    for (size_t i = at; i < std::min(f.size(), at + n); ++i) f[i] = uint8_t(rng.next());
    readContainer2007(f, c);
    for (const ObjectMapEntry& e : c.objects) ASSERT_LT(e.offset, c.sectionData(u"AcDb:AcDbObjects").size());
  }

  Limits2007 tight;
  tight.maxTotalBytes = 64 * 1024;
  EXPECT_EQ(readContainer2007(file, c, tight), Acad::eDwgNeedsRecovery);
  EXPECT_TRUE(c.sectionData(u"AcDb:AcDbObjects").empty());

  std::vector<uint8_t> other = file;
  std::memcpy(other.data(), "AC1015", 6);
  EXPECT_EQ(readContainer2007(other, c), Acad::eInvalidDwgVersion);
  std::memcpy(other.data(), "%PDF-1", 6);
  EXPECT_EQ(readContainer2007(other, c), Acad::eBadDwgHeader);
}
