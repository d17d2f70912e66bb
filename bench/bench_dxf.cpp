// DXF read and write speed: the largest corpus files and generated drawings of 1 MB to 100 MB.
// Reports bytes of DXF text per second (MB/s in the bytes_per_second column) and, in heap_x, the
// peak of heap memory one read or write takes beyond its input, as a multiple of the text size.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"
#include "gen_drawing.h"
#include "heap_count.h"

namespace fs = std::filesystem;
namespace ke = kel::engine;


namespace {

using kel::bench::generate;


std::string readWhole(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<fs::path> largestCorpusFiles(size_t count) {
  std::vector<fs::path> files;
  fs::path dir = fs::path(KEL_SHARED_DIR) / "corpus" / "dxf";
  if (fs::exists(dir))
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() == ".dxf") files.push_back(e.path());
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
  if (files.size() > count) files.resize(count);
  return files;
}

void readText(benchmark::State& state, const std::string& text) {
  state.counters["heap_x"] = heap::peakOf(text.size(), [&] {
    ke::DrawingPtr d = ke::newDrawing(false);
    ke::dxf::readDxfData(*d, text, nullptr);
  });
  for (auto _ : state) {
    ke::DrawingPtr d = ke::newDrawing(false);
    if (ke::dxf::readDxfData(*d, text, nullptr) != Acad::eOk) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(d.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void writeDrawing(benchmark::State& state, ke::Drawing& d) {
  size_t bytes = 0;
  const double peak = heap::peakOf(1, [&] { bytes = ke::dxf::dxfText(d, 16).size(); });
  state.counters["heap_x"] = peak / double(bytes);
  for (auto _ : state) {
    std::string text = ke::dxf::dxfText(d, 16);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["MB"] = double(bytes) / 1e6;
}

// Entities per MB of generated text, measured once.
size_t entitiesFor(double megabytes) {
  static const double perEntity = [] {
    ke::DrawingPtr d = generate(7000);
    return double(ke::dxf::dxfText(*d, 16).size()) / 7000.0;
  }();
  return size_t(megabytes * 1e6 / perEntity);
}

void BM_GeneratedRead(benchmark::State& state) {
  ke::DrawingPtr d = generate(entitiesFor(double(state.range(0))));
  const std::string text = ke::dxf::dxfText(*d, 16);
  d.reset();
  state.counters["MB"] = double(text.size()) / 1e6;
  readText(state, text);
}
void BM_GeneratedWrite(benchmark::State& state) {
  ke::DrawingPtr d = generate(entitiesFor(double(state.range(0))));
  writeDrawing(state, *d);
}
BENCHMARK(BM_GeneratedRead)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratedRead)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratedWrite)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratedWrite)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

// The three largest corpus files, registered by name.
const bool registered = [] {
  for (const auto& p : largestCorpusFiles(3)) {
    std::string name = p.filename().string();
    benchmark::RegisterBenchmark(("BM_CorpusRead/" + name).c_str(), [p](benchmark::State& s) {
      readText(s, readWhole(p));
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_CorpusWrite/" + name).c_str(), [p](benchmark::State& s) {
      ke::DrawingPtr d = ke::newDrawing(false);
      if (ke::dxf::readDxfData(*d, readWhole(p), nullptr) != Acad::eOk) {
        s.SkipWithError("read failed");
        return;
      }
      writeDrawing(s, *d);
    })->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
