// File-name utilities: the nested directory walk, wildcard matching, and path splitting.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "lib/cpu/shared/getfn.h"
#include "platform/pathmatch.h"

namespace {

// A tree of 10 directories with 100 files each (half of them .dwg), made once per process and
// removed at its end.
struct Tree {
  std::string path;
  ~Tree() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};
Tree made;

const std::u16string& tree() {
  static std::u16string root = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kelmoor-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    made.path = tmpl;
    for (int d = 0; d < 10; ++d) {
      auto dir = std::filesystem::path(tmpl) / ("dir" + std::to_string(d));
      std::filesystem::create_directory(dir);
      for (int f = 0; f < 100; ++f)
        std::ofstream(dir / ("file" + std::to_string(f) + (f % 2 ? ".dwg" : ".dxf"))) << "x";
    }
    return std::u16string(tmpl.begin(), tmpl.end()) + u"\\";
  }();
  return root;
}

void BM_FindFilesNested(benchmark::State& state) {
  std::u16string spec = tree() + u"*.dwg";
  for (auto _ : state) {
    int32_t count = 0x7FFFFFFF;
    FileEntry* list = findFiles(spec.c_str(), nullptr, 0, true, &count);
    benchmark::DoNotOptimize(list);
    freeFileList(list);
    if (count != 500) state.SkipWithError("unexpected count");
  }
  state.SetItemsProcessed(state.iterations() * 1010);  // entries examined per walk
}
BENCHMARK(BM_FindFilesNested);

void BM_PathMatchSpec(benchmark::State& state) {
  const char16_t* name = u"C:\\projects\\site plans\\Level-03_Architecture.revision.DWG";
  for (auto _ : state) benchmark::DoNotOptimize(plat::PathMatchSpecW(name, u"*.dxf;level-??_*.dwg"));
}
BENCHMARK(BM_PathMatchSpec);

void BM_GetPathParts(benchmark::State& state) {
  char16_t buf[260];
  for (auto _ : state)
    benchmark::DoNotOptimize(getPathParts(buf, 260, u"C:\\projects\\site plans\\Level-03.revision.dwg", 6));
}
BENCHMARK(BM_GetPathParts);

}  // namespace
