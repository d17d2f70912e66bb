// Throughput of the R2004+ page compression and of reading and writing a whole container, on the
// object data of a real AC1027 drawing.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/dwg/container2004.h"
#include "engine/dwg/lz77.h"

using namespace kel::dwg;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kSample = std::string(KEL_SHARED_DIR) + "/corpus/dwg/acadsharp_sample_AC1027.dwg";

const Bytes& sampleFile() {
  static const Bytes file = [] {
    std::ifstream f(kSample, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }();
  return file;
}

const std::map<std::string, Bytes>& sampleSections() {
  static const std::map<std::string, Bytes> sections = [] {
    std::map<std::string, Bytes> m;
    Container2004 c;
    if (c.open(sampleFile()) != Acad::eOk) return m;
    for (const auto& s : c.sections())
      if (!s.name.empty()) c.read(s, m[s.name]);
    return m;
  }();
  return sections;
}

// The object section cut into the zero-padded 0x7400-byte pages the writer compresses.
std::vector<Bytes> objectPages() {
  std::vector<Bytes> pages;
  auto it = sampleSections().find("AcDb:AcDbObjects");
  if (it == sampleSections().end()) return pages;
  const Bytes& data = it->second;
  for (size_t at = 0; at < data.size(); at += kMaxPageData) {
    Bytes page(kMaxPageData, 0);
    size_t n = std::min<size_t>(kMaxPageData, data.size() - at);
    std::copy(data.begin() + long(at), data.begin() + long(at + n), page.begin());
    pages.push_back(std::move(page));
  }
  return pages;
}

void BM_Compress(benchmark::State& state) {
  auto pages = objectPages();
  if (pages.empty()) return state.SkipWithError("sample drawing missing");
  size_t in = 0, out = 0;
  Bytes packed;
  for (auto _ : state) {
    for (const auto& p : pages) {
      packed.clear();
      compress2004(p, packed);
      in += p.size();
      out += packed.size();
    }
  }
  state.SetBytesProcessed(int64_t(in));
  state.counters["ratio"] = double(out) / double(in);
}
BENCHMARK(BM_Compress)->Unit(benchmark::kMillisecond);

void BM_Decompress(benchmark::State& state) {
  auto pages = objectPages();
  if (pages.empty()) return state.SkipWithError("sample drawing missing");
  std::vector<Bytes> packed(pages.size());
  for (size_t i = 0; i < pages.size(); ++i) compress2004(pages[i], packed[i]);
  Bytes out(kMaxPageData);
  size_t produced = 0;
  for (auto _ : state) {
    for (const auto& p : packed) produced += decompress2004(p, out).produced;
  }
  state.SetBytesProcessed(int64_t(produced));
}
BENCHMARK(BM_Decompress)->Unit(benchmark::kMillisecond);

void BM_ReadContainer(benchmark::State& state) {
  const Bytes& file = sampleFile();
  if (file.empty()) return state.SkipWithError("sample drawing missing");
  size_t total = 0;
  Bytes out;
  for (auto _ : state) {
    Container2004 c;
    c.open(file);
    for (const auto& s : c.sections()) {
      c.read(s, out);
      total += out.size();
    }
  }
  state.SetBytesProcessed(int64_t(total));
}
BENCHMARK(BM_ReadContainer)->Unit(benchmark::kMillisecond);

void BM_WriteContainer(benchmark::State& state) {
  const auto& sections = sampleSections();
  if (sections.empty()) return state.SkipWithError("sample drawing missing");
  std::vector<SectionInput2004> inputs;
  size_t total = 0;
  for (const auto& [name, data] : sections) {
    inputs.push_back({name, data});
    total += data.size();
  }
  Bytes file;
  for (auto _ : state) writeContainer2004(inputs, WriteOptions2004{}, file);
  state.SetBytesProcessed(int64_t(total * state.iterations()));
  state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(BM_WriteContainer)->Unit(benchmark::kMillisecond);

}  // namespace
