// Timing of the text helpers that walk whole strings: replace-all, case-blind search and
// command-line splitting, each on a 1 KB and a 1 MB input.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "lib/cpu/shared/stringu.h"

namespace {

// Words of a drawing-ish command line: paths, switches, a quoted group now and then.
std::string sampleText(size_t bytes) {
  static const char* words[] = {"c:\\drawings\\plan.dwg", "/audit", "\"site plan.dxf\"", "-v",
                                "layer=WALLS", "abAB", "x"};
  std::string s;
  for (size_t i = 0; s.size() < bytes; ++i) {
    s += words[i % 7];
    s += ' ';
  }
  s.resize(bytes);
  return s;
}

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void BM_ReplaceAll(benchmark::State& state) {
  const std::string text = sampleText(static_cast<size_t>(state.range(0)));
  std::vector<char> buf(text.size() * 2 + 1);
  for (auto _ : state) {
    std::memcpy(buf.data(), text.c_str(), text.size() + 1);  // the call works in place
    benchmark::DoNotOptimize(replaceAll(buf.data(), "DWG", "dwg"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_ReplaceAllWide(benchmark::State& state) {
  const std::u16string text = widen(sampleText(static_cast<size_t>(state.range(0))));
  std::vector<char16_t> buf(text.size() * 2 + 1);
  for (auto _ : state) {
    std::memcpy(buf.data(), text.c_str(), (text.size() + 1) * 2);
    benchmark::DoNotOptimize(replaceAll(buf.data(), u"/", u"\\"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_FindNoCase(benchmark::State& state) {
  // The needle sits at the very end, so the whole text is searched.
  std::string text = sampleText(static_cast<size_t>(state.range(0)) - 8) + "NeEdLe42";
  for (auto _ : state) benchmark::DoNotOptimize(findNoCase(text.c_str(), "needle42"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_FindNoCaseWide(benchmark::State& state) {
  std::u16string text = widen(sampleText(static_cast<size_t>(state.range(0)) - 8)) + u"NeEdLe42";
  for (auto _ : state) benchmark::DoNotOptimize(findNoCase(text.c_str(), u"needle42"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_SplitCommandLine(benchmark::State& state) {
  const std::u16string line = widen(sampleText(static_cast<size_t>(state.range(0))));
  uint32_t fields = 0;
  for (auto _ : state) {
    uint32_t argc = 0;
    char16_t** argv = nullptr;
    fields = splitCommandLine(&argc, &argv, line.c_str());
    freeArgs(argc, &argv);
  }
  state.counters["args"] = fields;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_ReplaceAll)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_ReplaceAllWide)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_FindNoCase)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_FindNoCaseWide)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_SplitCommandLine)->Arg(1 << 10)->Arg(1 << 20);

}  // namespace
