// DXF read and write speed: the largest corpus files and generated drawings of 1 MB to 100 MB.
// Reports bytes of DXF text per second (MB/s in the bytes_per_second column).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"

namespace fs = std::filesystem;
namespace ke = kel::engine;

namespace {

// A drawing with n entities of mixed types spread over a few layers in model space.
ke::DrawingPtr generate(size_t n) {
  ke::DrawingPtr d = ke::newDrawing(true);
  ke::Handle ms = d->table("BLOCK_RECORD")->entries.front().handle;
  for (size_t i = 0; i < n; ++i) {
    const double x = double(i % 1000) * 1.37, y = double(i / 1000) * 2.11;
    ke::EntityCommon c;
    c.layer = "L" + std::to_string(i % 7);
    switch (i % 7) {
      case 0: {
        ke::Line l;
        l.common = c;
        l.start = {x, y, 0};
        l.end = {x + 3.25, y + 1.0 / 3.0, 0};
        ke::addEntity(*d, d->entities, ms, l);
        break;
      }
      case 1: {
        ke::Circle ci;
        ci.common = c;
        ci.center = {x, y, 0};
        ci.radius = 0.5 + double(i % 13) / 7.0;
        ke::addEntity(*d, d->entities, ms, ci);
        break;
      }
      case 2: {
        ke::Arc a;
        a.common = c;
        a.center = {x, y, 0};
        a.startAngle = double(i % 360);
        a.endAngle = std::fmod(a.startAngle + 123.456, 360.0);
        ke::addEntity(*d, d->entities, ms, a);
        break;
      }
      case 3: {
        ke::Text t;
        t.common = c;
        t.position = {x, y, 0};
        t.text = "Room " + std::to_string(i);
        ke::addEntity(*d, d->entities, ms, t);
        break;
      }
      case 4: {
        ke::LwPolyline p;
        p.common = c;
        for (int k = 0; k < 6; ++k) p.vertices.push_back({x + k, y + (k % 2) * 0.7, 0, 0, k == 2 ? 0.25 : 0});
        ke::addEntity(*d, d->entities, ms, p);
        break;
      }
      case 5: {
        ke::MText m;
        m.common = c;
        m.position = {x, y, 0};
        m.text = "{\\fArial|b1;Note} " + std::to_string(i) + "\\Psecond line";
        ke::addEntity(*d, d->entities, ms, m);
        break;
      }
      default: {
        ke::Face f;
        f.type = "3DFACE";
        f.common = c;
        for (int k = 0; k < 4; ++k) f.corner[k] = {x + (k & 1), y + (k >> 1), 0.1 * k};
        ke::addEntity(*d, d->entities, ms, f);
        break;
      }
    }
  }
  return d;
}

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
  for (auto _ : state) {
    ke::DrawingPtr d = ke::newDrawing(false);
    if (ke::dxf::readDxfData(*d, text, nullptr) != Acad::eOk) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(d.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void writeDrawing(benchmark::State& state, ke::Drawing& d) {
  size_t bytes = 0;
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
