#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/dwg/container2004.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/lz77.h"

using namespace kel::dwg;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

namespace {

fs::path corpusDir() { return fs::path(KEL_SHARED_DIR) / "corpus" / "dwg"; }

Bytes load(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> r2004Files() {
  std::vector<fs::path> out;
  if (!fs::exists(corpusDir())) return out;
  for (const auto& e : fs::directory_iterator(corpusDir())) {
    if (e.path().extension() != ".dwg") continue;
    char v[7] = {};
    std::ifstream f(e.path(), std::ios::binary);
    f.read(v, 6);
    std::string s(v);
    if (s == "AC1018" || s == "AC1024" || s == "AC1027" || s == "AC1032") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

uint32_t rl(const Bytes& b, size_t o) {
  return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 |
         uint32_t(b[o + 3]) << 24;
}

// The handle map is a chain of chunks: big-endian size (counting itself), data, big-endian CRC
// over size and data. A wrong byte anywhere in the decompressed section breaks one of them.
bool handleChunksVerify(const Bytes& h) {
  size_t i = 0;
  while (i + 2 <= h.size()) {
    size_t size = size_t(h[i]) << 8 | h[i + 1];
    if (size == 2) return true;
    if (size < 2 || i + size + 2 > h.size()) return false;
    uint16_t stored = uint16_t(h[i + size] << 8 | h[i + size + 1]);
    if (crc16(kCrc16Seed, h.data() + i, size) != stored) return false;
    i += size + 2;
  }
  return false;
}

const uint8_t kHeaderSentinel[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                     0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};

// Rewrites the masked header block through `edit`, with a correct CRC afterwards.
void editHeaderBlock(Bytes& file, void (*edit)(uint8_t*)) {
  uint8_t h[0x6C];
  for (size_t i = 0; i < sizeof h; ++i) h[i] = file[0x80 + i] ^ maskByte2004(i);
  edit(h);
  std::memset(h + 0x68, 0, 4);
  uint32_t c = crc32(h, sizeof h);
  for (int i = 0; i < 4; ++i) h[0x68 + i] = uint8_t(c >> (8 * i));
  for (size_t i = 0; i < sizeof h; ++i) file[0x80 + i] = h[i] ^ maskByte2004(i);
}

// Opens and reads every section; returns the worst status seen. Must never crash.
Acad::ErrorStatus openAndReadAll(const Bytes& file) {
  Container2004 c;
  Acad::ErrorStatus es = c.open(file);
  if (!c.isOpen()) return es;
  Bytes out;
  for (const auto& s : c.sections()) {
    if (s.size > 64u << 20) continue;
    Acad::ErrorStatus r = c.read(s, out);
    if (r != Acad::eOk) {
      es = r;
    } else {
      EXPECT_TRUE(s.pages.empty() || out.size() == s.size);
    }
  }
  return es;
}

}  // namespace

TEST(DwgContainer2004, EveryCorpusFileOpensAndEverySectionReadsWithValidChecksums) {
  auto files = r2004Files();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  size_t sectionsRead = 0;
  for (const auto& p : files) {
    Bytes file = load(p);
    Container2004 c;
    ASSERT_EQ(c.open(file), Acad::eOk) << p;
    for (const char* name : {"AcDb:Header", "AcDb:Classes", "AcDb:Handles", "AcDb:AcDbObjects"})
      EXPECT_NE(c.find(name), nullptr) << p << " " << name;
    for (const auto& s : c.sections()) {
      Bytes out;
      ASSERT_EQ(c.read(s, out), Acad::eOk) << p << " " << s.name;
      if (!s.pages.empty()) {
        EXPECT_EQ(out.size(), s.size) << p << " " << s.name;
        ++sectionsRead;
      }
    }
    // The decompressed contents are right, not merely the right size.
    Bytes header, handles;
    ASSERT_EQ(c.read("AcDb:Header", header), Acad::eOk);
    ASSERT_GE(header.size(), 16u);
    EXPECT_EQ(std::memcmp(header.data(), kHeaderSentinel, 16), 0) << p;
    ASSERT_EQ(c.read("AcDb:Handles", handles), Acad::eOk);
    EXPECT_TRUE(handleChunksVerify(handles)) << p;
  }
  EXPECT_GE(files.size(), 90u);
  EXPECT_GT(sectionsRead, 1000u);
}

TEST(DwgContainer2004, WrittenContainerReadsBackIdentically) {
  fs::path src = corpusDir() / "acadsharp_sample_AC1027.dwg";
  if (!fs::exists(src)) GTEST_SKIP() << "no corpus";
  Bytes original = load(src);
  Container2004 in;
  ASSERT_EQ(in.open(original), Acad::eOk);
  std::map<std::string, Bytes> payload;
  for (const auto& s : in.sections()) {
    if (s.name.empty()) continue;
    ASSERT_EQ(in.read(s, payload[s.name]), Acad::eOk);
  }
  payload["Custom:Extra"] = Bytes(100, 7);  // unknown names are kept too
  std::vector<SectionInput2004> inputs;
  for (const auto& [name, data] : payload) inputs.push_back({name, data});

  Bytes written;
  ASSERT_EQ(writeContainer2004(inputs, WriteOptions2004{}, written), Acad::eOk);
  Container2004 back;
  ASSERT_EQ(back.open(written), Acad::eOk);
  EXPECT_EQ(back.header().version, "AC1027");
  EXPECT_GT(back.header().maintenance, 3);
  for (const auto& [name, data] : payload) {
    Bytes out;
    ASSERT_EQ(back.read(name, out), Acad::eOk) << name;
    EXPECT_TRUE(out == data) << name;
  }

  // The layout the independent readers rely on.
  const auto& pages = back.pages();
  uint64_t address = 0x100;
  for (const auto& pg : pages) {
    EXPECT_EQ(pg.address, address);
    EXPECT_EQ(pg.size % 0x20, 0u);
    address += pg.size;
  }
  for (const auto& s : back.sections()) {
    bool mustCompress = s.name == "AcDb:Header" || s.name == "AcDb:Classes" ||
                        s.name == "AcDb:Handles" || s.name == "AcDb:AcDbObjects";
    if (mustCompress) {
      EXPECT_EQ(s.compression, 2u) << s.name;
    }
    for (size_t k = 0; k < s.pages.size(); ++k) {
      EXPECT_EQ(s.pages[k].offset, k * s.maxPageSize);
      if (s.compression == 2) {
        EXPECT_EQ(s.maxPageSize, 0x7400u);
        // Each compressed page holds a full, zero-padded 0x7400 bytes.
        const PageEntry2004* pe = nullptr;
        for (const auto& e : pages)
          if (e.number == int32_t(s.pages[k].number)) pe = &e;
        ASSERT_NE(pe, nullptr);
        Bytes full(0x7400 + 1);
        DecompressResult r = decompress2004(
            std::span<const uint8_t>(written.data() + pe->address + 32, s.pages[k].dataSize), full);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.produced, 0x7400u);
      }
    }
  }
  // File order of the sections follows the reference files.
  std::vector<std::string> order;
  std::map<uint32_t, std::string> byPage;
  for (const auto& s : back.sections())
    for (const auto& p : s.pages) byPage[p.number] = s.name;
  for (const auto& [n, name] : byPage)
    if (order.empty() || order.back() != name) order.push_back(name);
  std::vector<std::string> expected;
  for (const char* n : {"AcDb:SummaryInfo", "AcDb:Preview", "AcDb:AppInfo", "AcDb:AppInfoHistory",
                        "AcDb:AcDsPrototype_1b", "AcDb:RevHistory", "AcDb:AcDbObjects",
                        "AcDb:ObjFreeSpace", "AcDb:Template", "AcDb:Handles", "AcDb:Classes",
                        "AcDb:AuxHeader", "AcDb:Header", "Custom:Extra"})
    expected.push_back(n);
  EXPECT_EQ(order, expected);
  // Trailer: the masked header block is repeated at the recorded address and ends the file;
  // bytes 0xEC-0xFF hold the continuation of the masking sequence.
  uint64_t copyAt = back.header().secondHeaderAddress;
  ASSERT_EQ(copyAt + 0x6C, written.size());
  EXPECT_TRUE(std::equal(written.begin() + 0x80, written.begin() + 0xEC, written.begin() + long(copyAt)));
  EXPECT_EQ(rl(written, copyAt - 20), kPageMapType);
  for (size_t i = 0xEC; i < 0x100; ++i) EXPECT_EQ(written[i], maskByte2004(i));
  // Section ids of the reference files.
  EXPECT_EQ(back.find("AcDb:Header")->id, 1u);
  EXPECT_EQ(back.find("AcDb:AcDbObjects")->id, 7u);
  EXPECT_EQ(back.find("AcDb:AcDsPrototype_1b")->id, 13u);
}

TEST(DwgContainer2004, WriterRefusesBadNamesAndHandlesEmptySections) {
  Bytes data(10, 1);
  std::vector<SectionInput2004> dup = {{"AcDb:Header", data}, {"AcDb:Header", data}};
  Bytes out;
  EXPECT_EQ(writeContainer2004(dup, {}, out), Acad::eInvalidInput);
  std::vector<SectionInput2004> unnamed = {{"", data}};
  EXPECT_EQ(writeContainer2004(unnamed, {}, out), Acad::eInvalidInput);
  std::vector<SectionInput2004> longName = {{std::string(64, 'x'), data}};
  EXPECT_EQ(writeContainer2004(longName, {}, out), Acad::eInvalidInput);

  // An empty section gets no pages and reads back empty; a raw section larger than one page splits.
  Bytes big(0x9000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
  std::vector<SectionInput2004> ok = {{"AcDb:Header", {}}, {"AcDb:Preview", big}};
  ASSERT_EQ(writeContainer2004(ok, {}, out), Acad::eOk);
  Container2004 c;
  ASSERT_EQ(c.open(out), Acad::eOk);
  Bytes got;
  EXPECT_EQ(c.read("AcDb:Header", got), Acad::eOk);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(c.read("AcDb:Preview", got), Acad::eOk);
  EXPECT_TRUE(got == big);
  EXPECT_EQ(c.find("AcDb:Preview")->compression, 1u);
  EXPECT_EQ(c.find("AcDb:Preview")->pages.size(), 2u);
  EXPECT_EQ(c.read("AcDb:Nothing", got), Acad::eKeyNotFound);
}

TEST(DwgContainer2004, DamageYieldsStatusesNeverACrash) {
  fs::path src = corpusDir() / "libredwg_2013_circle.dwg";
  if (!fs::exists(src)) GTEST_SKIP() << "no corpus";
  const Bytes good = load(src);
  Container2004 probe;
  ASSERT_EQ(probe.open(good), Acad::eOk);

  // Wrong version, short files.
  Bytes b = good;
  std::memcpy(b.data(), "AC1015", 6);
  EXPECT_EQ(Container2004().open(b), Acad::eInvalidDwgVersion);
  EXPECT_EQ(Container2004().open(Bytes(good.begin(), good.begin() + 0x80)), Acad::eBadDwgHeader);
  EXPECT_EQ(Container2004().open(Bytes{}), Acad::eBadDwgHeader);

  // A flipped bit in the masked block: the signature or the CRC no longer holds.
  b = good;
  b[0x80] ^= 1;
  EXPECT_EQ(Container2004().open(b), Acad::eBadDwgHeader);
  b = good;
  b[0x80 + 0x24] ^= 0x10;  // an unused field: structure fine, CRC wrong
  EXPECT_EQ(Container2004().open(b), Acad::eDwgCRCDoesNotMatch);

  // Impossible addresses and sizes in a header that is otherwise correct.
  b = good;
  editHeaderBlock(b, [](uint8_t* h) { h[0x57] = 0x7F; });  // page map far beyond the file
  EXPECT_EQ(Container2004().open(b), Acad::eDwgNeedsRecovery);
  b = good;
  editHeaderBlock(b, [](uint8_t* h) { h[0x5C] ^= 0x40; });  // no such section map page
  EXPECT_EQ(Container2004().open(b), Acad::eDwgNeedsRecovery);

  // A flipped byte inside a data page: the checksum notices, or the page no longer decodes.
  const Section2004* header = probe.find("AcDb:Header");
  ASSERT_NE(header, nullptr);
  const PageEntry2004* page = nullptr;
  for (const auto& e : probe.pages())
    if (e.number == int32_t(header->pages[0].number)) page = &e;
  ASSERT_NE(page, nullptr);
  b = good;
  b[page->address + 32 + 40] ^= 0x01;
  {
    Container2004 c;
    ASSERT_EQ(c.open(b), Acad::eOk);
    Bytes out;
    Acad::ErrorStatus es = c.read("AcDb:Header", out);
    EXPECT_TRUE(es == Acad::eDwgCRCDoesNotMatch || es == Acad::eDwgNeedsRecovery) << es;
  }
  // A page header that names the wrong section is refused.
  b = good;
  b[page->address + 4] ^= 0x01;
  {
    Container2004 c;
    ASSERT_EQ(c.open(b), Acad::eOk);
    Bytes out;
    EXPECT_EQ(c.read("AcDb:Header", out), Acad::eDwgNeedsRecovery);
    EXPECT_TRUE(out.empty());
  }

  // Truncation at every 97th length, and random damage: always a status, never a crash.
  // (The trailer - blank page header and header copy - is not needed to read the file.)
  for (size_t len = 0; len + 20 < probe.header().secondHeaderAddress; len += 97) {
    Bytes t(good.begin(), good.begin() + long(len));
    EXPECT_NE(openAndReadAll(t), Acad::eOk) << len;
  }
  std::mt19937 rng(2024);
  int damaged = 0;
  for (int i = 0; i < 300; ++i) {
    Bytes d = good;
    int flips = 1 + int(rng() % 8);
    for (int k = 0; k < flips; ++k) d[rng() % d.size()] ^= uint8_t(1 + rng() % 255);
    if (openAndReadAll(d) != Acad::eOk) ++damaged;
  }
  EXPECT_GT(damaged, 200);
}
