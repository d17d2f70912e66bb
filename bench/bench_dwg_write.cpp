// DXF -> AC1027 DWG speed and memory.
//   DxfToDwg/<file>      the largest corpus drawings: the write alone (the drawing is read once);
//   GeneratedDwgWrite/N  the generated drawing of gen_drawing.h as N MB of DXF text, write alone;
//   GeneratedDxfToDwg/N  the same drawing converted whole: the DXF text read, then the DWG written.
// bytes_per_second counts source DXF text; heap_x is the peak of heap memory one conversion (or one
// write) takes beyond what was in use before it, as a multiple of the DXF text size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "gen_drawing.h"
#include "heap_count.h"

namespace fs = std::filesystem;
namespace ke = kel::engine;


namespace {


std::string readWhole(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The corpus DXFs, largest first.
std::vector<fs::path> largest(size_t n) {
  std::vector<fs::path> all;
  for (const char* dir : {"dxf", "dxf-ref"}) {
    fs::path p = fs::path(KEL_SHARED_DIR) / "corpus" / dir;
    if (!fs::exists(p)) continue;
    for (const auto& e : fs::directory_iterator(p))
      if (e.path().extension() == ".dxf") all.push_back(e.path());
  }
  std::sort(all.begin(), all.end(), [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
  if (all.size() > n) all.resize(n);
  return all;
}

// The write alone of a drawing read from `dxfBytes` of text.
void writeOnly(benchmark::State& state, ke::Drawing& d, size_t dxfBytes) {
  std::vector<uint8_t> file;
  state.counters["heap_x"] = heap::peakOf(dxfBytes, [&] {
    std::vector<uint8_t> once;
    kel::dwg::writeDwgBytes(d, once);
  });
  for (auto _ : state) {
    file = {};
    if (kel::dwg::writeDwgBytes(d, file) != Acad::eOk) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dxfBytes));
  state.counters["dwg_kB"] = double(file.size()) / 1024;
  state.counters["dxf_MB"] = double(dxfBytes) / 1e6;
}

void BM_DxfToDwg(benchmark::State& state, fs::path path) {
  const std::string text = readWhole(path);
  auto d = ke::newDrawing(false);
  if (ke::dxf::readDxfData(*d, text, nullptr) != Acad::eOk) {
    state.SkipWithError("cannot read DXF");
    return;
  }
  writeOnly(state, *d, text.size());
}

// Entities per MB of generated text, measured once.
size_t entitiesFor(double megabytes) {
  static const double perEntity = [] {
    ke::DrawingPtr d = kel::bench::generate(7000);
    return double(ke::dxf::dxfText(*d, 16).size()) / 7000.0;
  }();
  return size_t(megabytes * 1e6 / perEntity);
}

std::string generatedText(int64_t megabytes) {
  ke::DrawingPtr d = kel::bench::generate(entitiesFor(double(megabytes)));
  return ke::dxf::dxfText(*d, 16);
}

void BM_GeneratedDwgWrite(benchmark::State& state) {
  size_t bytes = 0;
  ke::DrawingPtr d = ke::newDrawing(false);
  {
    const std::string text = generatedText(state.range(0));
    bytes = text.size();
    if (ke::dxf::readDxfData(*d, text, nullptr) != Acad::eOk) {
      state.SkipWithError("cannot read DXF");
      return;
    }
  }
  writeOnly(state, *d, bytes);
}

void BM_GeneratedDxfToDwg(benchmark::State& state) {
  const std::string text = generatedText(state.range(0));
  auto convert = [&](std::vector<uint8_t>& file) {
    ke::DrawingPtr d = ke::newDrawing(false);
    return ke::dxf::readDxfData(*d, text, nullptr) == Acad::eOk && kel::dwg::writeDwgBytes(*d, file) == Acad::eOk;
  };
  std::vector<uint8_t> file;
  state.counters["heap_x"] = heap::peakOf(text.size(), [&] {
    std::vector<uint8_t> once;
    convert(once);
  });
  for (auto _ : state) {
    file = {};
    if (!convert(file)) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.counters["dwg_kB"] = double(file.size()) / 1024;
  state.counters["dxf_MB"] = double(text.size()) / 1e6;
}

BENCHMARK(BM_GeneratedDwgWrite)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratedDwgWrite)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratedDxfToDwg)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratedDxfToDwg)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

const bool registered = [] {
  for (const auto& p : largest(4))
    benchmark::RegisterBenchmark(("DxfToDwg/" + p.filename().string()).c_str(), BM_DxfToDwg, p)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
