// Damaged DWG files: flipped bytes, cut-off files and impossible sizes must end in a status (or a
// partial drawing), never in a crash, a hang or an out-of-bounds read (run under ASan/UBSan too).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/dwg/container2000.h"
#include "engine/dwg/read_dwg.h"
#include "engine/model/drawing.h"
#include "platform/utf.h"

namespace {

using kel::engine::Drawing;

std::vector<uint8_t> corpusFile(const std::string& name) {
  std::ifstream in(std::string(KEL_SHARED_DIR) + "/corpus/dwg/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One file per container family: R13, R2000, R2004, R2007, R2010, R2013, R2018.
const char* const kFamilies[] = {"libredwg_example_r13.dwg",  "libredwg_2000_Arc.dwg",  "libredwg_2004_Arc.dwg",
                                 "libredwg_2007_Arc.dwg",     "libredwg_2010_Arc.dwg",  "libredwg_2013_Arc.dwg",
                                 "libredwg_2018_Arc.dwg"};

TEST(DwgReadDamage, FlippedBytesGiveAStatusOrADrawing) {
  for (const char* name : kFamilies) {
    std::vector<uint8_t> good = corpusFile(name);
    ASSERT_GT(good.size(), 1000u) << name;
    Drawing ref;
    ASSERT_EQ(kel::dwg::readDwgBytes(ref, good), Acad::eOk) << name;
    // A fixed pseudo-random walk over the file; each damaged copy differs from the original in a
    // few bytes, so the header, maps, pages and object records all get hit across the runs.
    uint32_t seed = 0x2545F491u;
    auto next = [&] {
      seed ^= seed << 13;
      seed ^= seed >> 17;
      seed ^= seed << 5;
      return seed;
    };
    for (int run = 0; run < 60; ++run) {
      std::vector<uint8_t> bad = good;
      for (int k = 0; k < 4; ++k) bad[next() % bad.size()] ^= uint8_t(1u << (next() % 8));
      Drawing d;
      kel::dwg::DwgReadInfo info;
      Acad::ErrorStatus es = kel::dwg::readDwgBytes(d, bad, &info);
      if (es == Acad::eOk) {
        // What was read is consistent: every record the map names was either taken or counted.
        EXPECT_LE(info.decoded + info.raw + info.unreadable, info.objects) << name << " run " << run;
      }
    }
  }
}

TEST(DwgReadDamage, CutOffFilesFailCleanly) {
  for (const char* name : kFamilies) {
    std::vector<uint8_t> good = corpusFile(name);
    ASSERT_FALSE(good.empty()) << name;
    for (size_t len : {size_t(0), size_t(5), size_t(6), size_t(0x20), size_t(0x80), size_t(0x100), size_t(0x480),
                       good.size() / 4, good.size() / 2, good.size() - 100, good.size() - 1}) {
      if (len >= good.size()) continue;
      Drawing d;
      Acad::ErrorStatus es = kel::dwg::readDwgBytes(d, std::span<const uint8_t>(good.data(), len));
      // Early cuts lose the header or the maps; late ones may only lose trailing data, which a
      // reader may accept. Under 0x100 bytes nothing can be read.
      if (len < 0x100) {
        EXPECT_NE(es, Acad::eOk) << name << " cut at " << len;
      }
    }
  }
}

TEST(DwgReadDamage, ImpossibleObjectSizesAreRefused) {
  // Make every object record of an R2000 file claim 0x3FFFFFFF bytes: each record is skipped as
  // unreadable, and the read still answers.
  std::vector<uint8_t> file = corpusFile("libredwg_2000_Arc.dwg");
  kel::dwg::Container2000 c;
  ASSERT_EQ(kel::dwg::readContainer2000(file, c), Acad::eOk);
  ASSERT_FALSE(c.objects.empty());
  for (const auto& e : c.objects) {
    ASSERT_LT(e.offset + 4, file.size());
    file[e.offset] = 0xFF;      // modular short: low 15 bits, more follow
    file[e.offset + 1] = 0xFF;
    file[e.offset + 2] = 0xFF;  // high 15 bits, last
    file[e.offset + 3] = 0x7F;
  }
  Drawing d;
  kel::dwg::DwgReadInfo info;
  Acad::ErrorStatus es = kel::dwg::readDwgBytes(d, file, &info);
  if (es == Acad::eOk) {
    EXPECT_EQ(info.unreadable, info.objects);
    EXPECT_TRUE(d.entities.empty());
  }
}

TEST(DwgReadDamage, OpeningStatuses) {
  Drawing d;
  EXPECT_EQ(kel::dwg::readDwgInto(d, u"", 32), Acad::eInvalidInput);
  EXPECT_EQ(kel::dwg::readDwgInto(d, nullptr, 32), Acad::eInvalidInput);
  std::string missing = (std::filesystem::temp_directory_path() / "kel_no_such_drawing.dwg").string();
  EXPECT_EQ(kel::dwg::readDwgInto(d, plat::fromUtf8(missing).c_str(), 32), Acad::eFileNotFound);

  // Not a drawing, and a drawing older than R13.
  const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  EXPECT_EQ(kel::dwg::readDwgBytes(d, text), Acad::eInvalidDwgVersion);
  std::vector<uint8_t> r12(0x200, 0);
  std::memcpy(r12.data(), "AC1009", 6);
  EXPECT_EQ(kel::dwg::readDwgBytes(d, r12), Acad::eInvalidDwgVersion);

  // A real file read through the path gives the same drawing as its bytes.
  std::string path = std::string(KEL_SHARED_DIR) + "/corpus/dwg/libredwg_2007_Arc.dwg";
  Drawing viaPath, viaBytes;
  ASSERT_EQ(kel::dwg::readDwgInto(viaPath, plat::fromUtf8(path).c_str(), 32), Acad::eOk);
  ASSERT_EQ(kel::dwg::readDwgBytes(viaBytes, corpusFile("libredwg_2007_Arc.dwg")), Acad::eOk);
  EXPECT_EQ(viaPath.entities.size(), viaBytes.entities.size());
  EXPECT_EQ(viaPath.objects.size(), viaBytes.objects.size());
}

}  // namespace
