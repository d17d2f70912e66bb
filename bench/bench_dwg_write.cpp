// DXF -> AC1027 DWG on the largest corpus drawings: the write alone (the drawing is read once),
// reported as MB/s of source DXF, with the peak memory the write adds.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/dwg/write_dwg.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "platform/utf.h"

namespace fs = std::filesystem;

namespace {

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

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void BM_DxfToDwg(benchmark::State& state, fs::path path) {
  auto d = kel::engine::newDrawing(false);
  std::u16string in = plat::fromUtf8(path.string());
  if (kel::engine::readDxf(*d, in.c_str(), nullptr) != Acad::eOk) {
    state.SkipWithError("cannot read DXF");
    return;
  }
  const double dxfBytes = double(fs::file_size(path));
  const long before = peakKb();
  std::vector<uint8_t> file;
  for (auto _ : state) {
    file.clear();
    kel::dwg::writeDwgBytes(*d, file);
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * dxfBytes));
  state.counters["dwg_kB"] = double(file.size()) / 1024;
  state.counters["peak_added_x_dxf"] = double(peakKb() - before) * 1024 / dxfBytes;
}

const bool registered = [] {
  for (const auto& p : largest(4))
    benchmark::RegisterBenchmark(("DxfToDwg/" + p.filename().string()).c_str(), BM_DxfToDwg, p)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace


