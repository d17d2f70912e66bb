// DWG reading: the whole road of a dwg2dxf conversion on the largest drawing of the corpus (bytes
// -> drawing -> DXF text), and the read alone for the largest file of each container family.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/dwg/read_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/drawing.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes load(const std::string& name) {
  std::ifstream f(std::string(KEL_SHARED_DIR) + "/corpus/dwg/" + name, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void readOnly(benchmark::State& state, const char* name) {
  const Bytes file = load(name);
  for (auto _ : state) {
    kel::engine::Drawing d;
    Acad::ErrorStatus es = kel::dwg::readDwgBytes(d, file);
    if (es != Acad::eOk) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(d.entities.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void toDxf(benchmark::State& state, const char* name) {
  const Bytes file = load(name);
  size_t out = 0;
  for (auto _ : state) {
    kel::engine::Drawing d;
    if (kel::dwg::readDwgBytes(d, file) != Acad::eOk) {
      state.SkipWithError("read failed");
      break;
    }
    std::string text = kel::engine::dxf::dxfText(d, 16);
    out = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
  state.counters["dxf_bytes"] = double(out);
}

}  // namespace

BENCHMARK_CAPTURE(toDxf, Dynblocks_2018, "libredwg_2018_Dynblocks.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, Dynblocks_2018, "libredwg_2018_Dynblocks.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, material_2004, "libredwg_2004_material.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, sample_R2000, "acadsharp_sample_AC1015.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, example_R2007, "libredwg_example_2007.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, example_R2010, "libredwg_example_2010.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, example_R13, "libredwg_example_r13.dwg")->Unit(benchmark::kMillisecond);
