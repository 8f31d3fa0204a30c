// The parameter list is rebuilt on every model or version choice and every
// showing of the parameter page, so it must be quick even at its limits.
#include <benchmark/benchmark.h>

#include <string>

#include "params/paramlist.h"
#include "params/paramtransfer.h"
#include "support/tempdir.h"

namespace {

using qxr::ParameterCatalogue;

// A description file of 2000 entries and an additional file of 1000, the most
// the list holds, with names of shipped length in Big5-bound UTF-8.
void BM_BuildFullParameterList(benchmark::State& state) {
  qxr::test::TempDir dir;
  std::string description, additional;
  for (int i = 1; i <= 2000; ++i) description += "X軸最高快移速度 [mm/min] " + std::to_string(i) + " = " + std::to_string(i) + "\r\n";
  for (int i = 1; i <= 1000; ++i) additional += "工件計數 " + std::to_string(i) + "=" + std::to_string(5000 + i) + "\r\n";
  dir.write("302ParM.txt", description);
  dir.write("Q302Add.Ini", additional);
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(dir.dir(), 0);
  for (auto _ : state) {
    auto list = catalogue.build(dir.dir(), 2, 2, 0);
    benchmark::DoNotOptimize(list.data());
  }
}
BENCHMARK(BM_BuildFullParameterList)->Unit(benchmark::kMillisecond);

void BM_ShippedParameterList(benchmark::State& state) {
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(qxr::test::dataDir(), 0);
  for (auto _ : state) {
    auto list = catalogue.build(qxr::test::dataDir(), 2, 2, 0);
    benchmark::DoNotOptimize(list.data());
  }
}
BENCHMARK(BM_ShippedParameterList)->Unit(benchmark::kMicrosecond);

// Turning 3000 parameter lines into write lines, as one send does.
void BM_ParameterWriteLines(benchmark::State& state) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 3000; ++i) lines.push_back("X max rapid speed [mm/min](" + std::to_string(i) + ")=" + std::to_string(i * 7));
  for (auto _ : state) {
    for (const auto& line : lines) benchmark::DoNotOptimize(qxr::parameterWriteLine(line));
  }
}
BENCHMARK(BM_ParameterWriteLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
