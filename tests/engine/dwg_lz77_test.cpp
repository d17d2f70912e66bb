#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/dwg/container2004.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/lz77.h"

using namespace kel::dwg;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes roundTrip(const Bytes& in, Bytes* packedOut = nullptr) {
  Bytes packed;
  EXPECT_TRUE(compress2004(in, packed));
  Bytes out(in.size());
  DecompressResult r = decompress2004(packed, out);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.produced, in.size());
  EXPECT_EQ(r.consumed + 2, packed.size());  // the two bytes after the end marker
  if (packedOut) *packedOut = packed;
  return out;
}

Bytes randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

Bytes decode(const Bytes& stream, size_t room, bool* ok = nullptr) {
  Bytes out(room);
  DecompressResult r = decompress2004(stream, out);
  if (ok) *ok = r.ok;
  out.resize(r.produced);
  return out;
}

}  // namespace

TEST(DwgLz77, DecodesHandWrittenStreams) {
  bool ok = false;
  // A literal run of 4, then an end marker.
  EXPECT_EQ(decode({0x01, 'a', 'b', 'c', 'd', 0x11}, 16, &ok), (Bytes{'a', 'b', 'c', 'd'}));
  EXPECT_TRUE(ok);
  // "abcd", then a short match of 4 at distance 4: opcode 0x5C (length 4, low offset bits 3).
  EXPECT_EQ(decode({0x01, 'a', 'b', 'c', 'd', 0x5C, 0x00, 0x11}, 16, &ok),
            (Bytes{'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'}));
  EXPECT_TRUE(ok);
  // An overlapping copy at distance 1 repeats the last byte; two trailing literals follow.
  EXPECT_EQ(decode({0x01, 'a', 'b', 'c', 'd', 0x22, 0x02, 0x00, 'x', 'y', 0x11}, 16, &ok),
            (Bytes{'a', 'b', 'c', 'd', 'd', 'd', 'd', 'd', 'x', 'y'}));
  EXPECT_TRUE(ok);
  // A literal run of 19 uses the extended form: 0x00 then 1.
  Bytes s{0x00, 0x01};
  for (int i = 0; i < 19; ++i) s.push_back(uint8_t('A' + i));
  s.push_back(0x11);
  EXPECT_EQ(decode(s, 64, &ok).size(), 19u);
  EXPECT_TRUE(ok);
  // An empty stream is just the end marker.
  EXPECT_TRUE(decode({0x11}, 0, &ok).empty());
  EXPECT_TRUE(ok);
}

TEST(DwgLz77, RejectsMalformedStreamsWithoutLeavingItsBuffers) {
  struct Case {
    const char* what;
    Bytes stream;
    size_t room;
  };
  const Case cases[] = {
      {"match before the output start", {0x01, 'a', 'b', 'c', 'd', 0x5C, 0x05, 0x11}, 64},
      {"output larger than the room", {0x01, 'a', 'b', 'c', 'd', 0xF0, 0x00, 0x11}, 8},
      {"no end marker", {0x01, 'a', 'b', 'c', 'd'}, 64},
      {"literal run longer than the input", {0x0F, 'a', 'b', 0x11}, 64},
      {"two literal runs in a row", {0x01, 'a', 'b', 'c', 'd', 0x01, 'e', 'f', 'g', 'h', 0x11}, 64},
      {"extended count runs off the end", {0x00, 0x00, 0x00}, 64},
      {"far match, truncated offset", {0x01, 'a', 'b', 'c', 'd', 0x12, 0x00}, 64},
      {"empty input", {}, 64},
  };
  for (const auto& c : cases) {
    bool ok = true;
    decode(c.stream, c.room, &ok);
    EXPECT_FALSE(ok) << c.what;
  }
  // Random garbage of every length: never a crash or an out-of-bounds access (the sanitizer
  // build checks the latter), and never more output than room.
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    Bytes junk = randomBytes(rng() % 64, uint32_t(i));
    Bytes out(rng() % 200);
    DecompressResult r = decompress2004(junk, out);
    EXPECT_LE(r.produced, out.size());
    EXPECT_LE(r.consumed, junk.size());
  }
}

TEST(DwgLz77, RoundTripsEveryKindOfInput) {
  std::vector<std::pair<std::string, Bytes>> inputs;
  inputs.emplace_back("empty", Bytes{});
  inputs.emplace_back("four bytes", Bytes{1, 2, 3, 4});
  inputs.emplace_back("random", randomBytes(100000, 1));
  inputs.emplace_back("zero page", Bytes(0x7400, 0));
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "LINE " + std::to_string(i % 97) + " layer0 1.0 2.5\n";
  inputs.emplace_back("text", Bytes(text.begin(), text.end()));
  // Runs whose lengths sit on the boundaries of the count encodings.
  Bytes runs;
  std::mt19937 rng(3);
  for (size_t len : {3, 4, 9, 10, 14, 15, 33, 34, 288, 289, 543, 1000, 70000}) {
    for (int k = 0; k < 5; ++k) runs.push_back(uint8_t(rng()));
    runs.insert(runs.end(), len, uint8_t(rng()));
  }
  inputs.emplace_back("runs", runs);
  // Literal stretches of every length between repeats.
  Bytes lits;
  for (size_t len = 1; len < 300; len += 7) {
    Bytes r = randomBytes(len, uint32_t(len));
    lits.insert(lits.end(), r.begin(), r.end());
    lits.insert(lits.end(), {9, 9, 9, 9, 9, 9});
  }
  inputs.emplace_back("literal stretches", lits);
  for (const auto& [name, in] : inputs) EXPECT_EQ(roundTrip(in), in) << name;

  // Inputs of 1 to 3 bytes cannot be expressed.
  Bytes packed;
  EXPECT_FALSE(compress2004(Bytes{1, 2}, packed));
  EXPECT_TRUE(packed.empty());
}

TEST(DwgLz77, UsesNearMidAndFarMatches) {
  // A block repeated 0x5000 bytes later can only be reached by a far match; one repeated 0x1000
  // later by the three-byte form. Both must shrink the output well below the input.
  Bytes block = randomBytes(0x800, 11);
  Bytes filler = randomBytes(0x5000, 12);
  Bytes in = block;
  in.insert(in.end(), filler.begin(), filler.end());
  in.insert(in.end(), block.begin(), block.end());
  Bytes packed;
  EXPECT_EQ(roundTrip(in, &packed), in);
  EXPECT_LT(packed.size(), 0x800 + 0x5000 + 0x200);

  Bytes mid = randomBytes(0x1000, 13);
  Bytes in2 = mid;
  in2.insert(in2.end(), mid.begin(), mid.end());
  EXPECT_EQ(roundTrip(in2, &packed), in2);
  EXPECT_LT(packed.size(), 0x1000 + 0x100);

  // The ordinary case: a zero-padded page shrinks to a few bytes.
  EXPECT_EQ(roundTrip(Bytes(0x7400, 0), &packed), Bytes(0x7400, 0));
  EXPECT_LT(packed.size(), 200u);
}

TEST(DwgLz77, DecompressesAndRecompressesTheSystemPagesOfCorpusFiles) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(KEL_SHARED_DIR) / "corpus" / "dwg";
  if (!fs::exists(dir)) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".dwg") continue;
    std::ifstream f(entry.path(), std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::string v(file.begin(), file.begin() + 6);
    if (v != "AC1018" && v != "AC1024" && v != "AC1027" && v != "AC1032") continue;
    ++files;
    // Unmask the header block by hand to find the page map.
    uint8_t h[0x6C];
    for (size_t i = 0; i < sizeof h; ++i) h[i] = file[0x80 + i] ^ maskByte2004(i);
    uint64_t at = 0x100 + (uint64_t(h[0x54]) | uint64_t(h[0x55]) << 8 | uint64_t(h[0x56]) << 16 |
                           uint64_t(h[0x57]) << 24);
    ASSERT_LT(at + 20, file.size()) << entry.path();
    auto rl = [&](size_t o) {
      return uint32_t(file[o]) | uint32_t(file[o + 1]) << 8 | uint32_t(file[o + 2]) << 16 |
             uint32_t(file[o + 3]) << 24;
    };
    ASSERT_EQ(rl(at), kPageMapType);
    uint32_t size = rl(at + 4), stored = rl(at + 8);
    Bytes src(file.begin() + long(at) + 20, file.begin() + long(at) + 20 + stored);
    Bytes out(size);
    DecompressResult r = decompress2004(src, out);
    EXPECT_TRUE(r.ok) << entry.path();
    EXPECT_EQ(r.produced, size) << entry.path();
    EXPECT_EQ(roundTrip(out), out) << entry.path();
  }
  EXPECT_GE(files, 90);
}
