// Filling the editor from a program file: reading and splitting a 6000-line
// NC file into editor lines (the core part of ReadFileBtnClick).
#include <benchmark/benchmark.h>

#include "nc/ncfile.h"
#include "support/tempdir.h"

namespace {

std::string sixThousandLineFile() {
  std::string bytes = "7\r\nPART1\r\n";
  for (int i = 1; i <= 6000; ++i) {
    if (i % 50 == 25) continue;  // a few empty editor lines, filled on reading
    bytes += 'N';
    bytes.append(std::to_string(i)).append(" G01 X").append(std::to_string(i * 3 % 997));
    bytes.append(".125 Y-").append(std::to_string(i % 313)).append(".5 Z2.0 F1200\r\n");
  }
  return bytes;
}

void BM_ReadProgramFile(benchmark::State& state) {
  qxr::test::TempDir dir;
  const std::string bytes = sixThousandLineFile();
  dir.write("big.nc", bytes);
  const std::string path = dir.file("big.nc");
  for (auto _ : state) {
    qxr::ProgramFile file = qxr::readProgramFile(path, true);
    benchmark::DoNotOptimize(file.lines.data());
    if (file.lines.size() != 6000) state.SkipWithError("wrong line count");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReadProgramFile)->Unit(benchmark::kMicrosecond);

void BM_WriteProgramFile(benchmark::State& state) {
  qxr::test::TempDir dir;
  const qxr::ProgramFile file = qxr::parseProgramFile(sixThousandLineFile(), true);
  const std::string path = dir.file("out.nc");
  for (auto _ : state) {
    benchmark::DoNotOptimize(qxr::writeProgramFile(path, file.number, file.name, true, file.lines));
  }
}
BENCHMARK(BM_WriteProgramFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
