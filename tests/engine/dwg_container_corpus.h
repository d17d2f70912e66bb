// Corpus access for the DWG container tests: the files of given format versions, from the
// corpus manifest, and whole-file reads.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kel::test {

inline std::string dwgCorpusDir() { return std::string(KEL_SHARED_DIR) + "/corpus/dwg"; }

// Names of the corpus files whose version tag is one of `tags` ("AC1015", ...).
inline std::vector<std::string> dwgCorpusFiles(const std::set<std::string>& tags) {
  std::vector<std::string> names;
  std::ifstream manifest(dwgCorpusDir() + "/MANIFEST.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string name, tag;
    if (std::getline(fields, name, '\t') && std::getline(fields, tag, '\t') && tags.count(tag))
      names.push_back(name);
  }
  return names;
}

inline std::vector<uint8_t> readDwgCorpusFile(const std::string& name) {
  std::ifstream in(dwgCorpusDir() + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A small deterministic generator for corruption tests.
struct TestRng {
  uint64_t state;
  explicit TestRng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  size_t below(size_t n) { return n ? size_t(next() % n) : 0; }
};

}  // namespace kel::test
