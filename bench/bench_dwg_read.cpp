// DWG reading: the whole road of a dwg2dxf conversion on the largest drawing of the corpus (bytes
// -> drawing -> DXF text in memory; and file -> drawing -> DXF file as the conversion command does
// it), and the read alone for the largest file of each container family.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/acdb.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "platform/utf.h"

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

// File to file: the DWG read from its path, the DXF export written to a file (temp name, rename).
void toDxfFile(benchmark::State& state, const char* name) {
  const std::u16string src = plat::fromUtf8(std::string(KEL_SHARED_DIR) + "/corpus/dwg/" + name);
  const std::string out = "/tmp/kel_bench_dwg_read_" + std::to_string(::getpid()) + ".dxf";
  const std::u16string dst = plat::fromUtf8(out);
  for (auto _ : state) {
    kel::engine::Drawing d;
    if (kel::dwg::readDwgInto(d, src.c_str(), 32) != Acad::eOk ||
        kel::engine::writeDxf(d, dst.c_str(), 16, AcDb::kDHL_1027, false) != Acad::eOk) {
      state.SkipWithError("conversion failed");
      break;
    }
  }
  std::remove(out.c_str());
}

}  // namespace

BENCHMARK_CAPTURE(toDxfFile, Dynblocks_2018, "libredwg_2018_Dynblocks.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(toDxf, Dynblocks_2018, "libredwg_2018_Dynblocks.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, Dynblocks_2018, "libredwg_2018_Dynblocks.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, material_2004, "libredwg_2004_material.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, sample_R2000, "acadsharp_sample_AC1015.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, example_R2007, "libredwg_example_2007.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, example_R2010, "libredwg_example_2010.dwg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, example_R13, "libredwg_example_r13.dwg")->Unit(benchmark::kMillisecond);
