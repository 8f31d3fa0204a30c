// Compiling and writing a 100 000-line PLC program, and reading it back.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "plc/mcn.h"
#include "support/tempdir.h"

namespace {

constexpr int kProgramLines = 100000;

std::vector<std::string> bigProgram() {
  static const char* const kLines[] = {
      "LD 0001 ; start", "AND T005",         "OUT 0500",      "TMR 5 #100",      "CNT 7 #20 0001",
      "LDA $00FF",       "@ADD #TM05",       "STA DM0010",    "DW #100 DM0499",  "SFT 1000 1015",
      "ATMU 1 10 0500 0501", "DEMB 0100 #12", "SLA #4",        "JMP 12",          "",
      "; comment only",  "ORB C063",         "INC TM03",      "FOR #7",          "NEXT",
  };
  std::vector<std::string> lines;
  lines.reserve(kProgramLines);
  for (int i = 0; i < kProgramLines; ++i) lines.emplace_back(kLines[i % std::size(kLines)]);
  return lines;
}

void BM_CompileAndWrite(benchmark::State& state) {
  const std::vector<std::string> program = bigProgram();
  qxr::test::TempDir dir;
  const std::string path = dir.file("big.mcn");
  for (auto _ : state) {
    qxr::PlcTables tables;
    const qxr::PlcCompilation compiled = qxr::compilePlcProgram(program, tables);
    if (compiled.status != qxr::psOk || !qxr::WriteMcnFile(path, tables, compiled.instructions)) {
      state.SkipWithError("compilation failed");
      return;
    }
    benchmark::DoNotOptimize(compiled.instructions.data());
  }
  state.SetItemsProcessed(state.iterations() * kProgramLines);
}
BENCHMARK(BM_CompileAndWrite)->Unit(benchmark::kMillisecond);

void BM_ReadBack(benchmark::State& state) {
  qxr::PlcTables tables;
  const qxr::PlcCompilation compiled = qxr::compilePlcProgram(bigProgram(), tables);
  const std::string text = qxr::mcnText(qxr::mcnBytes(tables, compiled.instructions));
  for (auto _ : state) {
    qxr::PlcTables loaded;
    const qxr::McnListing listing = qxr::listMcnText(text, loaded);
    if (listing.outcome != qxr::McnListing::loEnd) {
      state.SkipWithError("listing failed");
      return;
    }
    benchmark::DoNotOptimize(listing.lines.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(compiled.instructions.size()));
}
BENCHMARK(BM_ReadBack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
