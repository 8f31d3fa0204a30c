// Plain NC programs and the compare: reading a 6000-line CAM-style file into
// editor lines, and what a compare adds to the receive it rests on (the
// comparison itself over 6000 lines, and a receive against the emulator with
// and without the comparison, in alternation).
#include <benchmark/benchmark.h>

#include "link/comm.h"
#include "link/link.h"
#include "measure.h"
#include "nc/ncops.h"
#include "nc/programcompare.h"
#include "nc/programtext.h"
#include "support/emulator.h"
#include "support/fakehost.h"

namespace {

std::string block(int i) {
  return "G01 X" + std::to_string(i * 3 % 997) + ".125\tY-" + std::to_string(i % 313) + ".5 Z2.0 F1200";
}

std::string camFile(int lines) {
  std::string bytes = "%\nO0010 (POCKET)\n(T1 D=10 FLAT END MILL)\n";
  for (int i = 2; i <= lines; ++i) bytes += "N" + std::to_string(i * 10) + " " + block(i) + "\n";
  return bytes + "%\n";
}

void BM_ReadPlainProgram6000(benchmark::State& state) {
  qxr::test::TempDir dir;
  const std::string bytes = camFile(6000);
  dir.write("cam.nc", bytes);
  const std::string path = dir.file("cam.nc");
  for (auto _ : state) {
    const qxr::ProgramText text = qxr::readProgramText(path, true, 0);
    benchmark::DoNotOptimize(text.file.lines.data());
    if (text.file.lines.size() != 6000 || text.refused()) state.SkipWithError("wrong reading");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReadPlainProgram6000)->Unit(benchmark::kMillisecond);

// The comparison after the lines arrived: the first difference and its text,
// and the side-by-side rows the window shows, for 6000 lines with one changed.
void BM_CompareLines6000(benchmark::State& state) {
  std::vector<std::string> held, file;
  for (int i = 1; i <= 6000; ++i) held.push_back(block(i));
  file = held;
  file[3000] += "1";
  for (auto _ : state) {
    benchmark::DoNotOptimize(qxr::firstDifferentLine(held, file));
    benchmark::DoNotOptimize(qxr::alignLines(held, file).size());
  }
}
BENCHMARK(BM_CompareLines6000)->Unit(benchmark::kMillisecond);

// A receive of a program against the emulator, and the same receive as a
// compare, in alternation; counters: receive_ms, compare_ms and added_ms
// (the difference of the medians).
void BM_CompareOverReceive(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  qxr::test::TempDir dir;
  qxr::test::EmulatorOptions options;
  std::string program = "7\r\nPART1\r\n";
  std::vector<std::string> expected;
  for (int i = 1; i <= lines; ++i) {
    program += "N" + std::to_string(i) + " " + block(i) + "\r\n";
    expected.push_back(block(i));
  }
  options.programs[7] = program;
  qxr::test::Emulator emulator(dir, options);
  qxr::Session session = qxr::test::makeTestSession(dir);
  session.settings.transitMode = 1;
  qxr::test::FakeHost host;
  qxr::TComm port;
  port.SetPortDirectory(session.startDir);
  qxr::Link link(port, session, host, qxr::SystemClock::instance());
  std::vector<double> receives, compares;
  for (auto _ : state) {
    qxr::MemoryNcPage page;
    page.number = 7;
    auto start = qxr::bench::Steady::now();
    if (!qxr::NcOperations(qxr::operationParts(link), page).receive()) state.SkipWithError("receive failed");
    receives.push_back(qxr::bench::secondsSince(start) * 1e3);
    start = qxr::bench::Steady::now();
    const qxr::ControllerComparison comparison = qxr::compareWithController(link, qxr::kGenerationX02, 7, expected, "PART1");
    compares.push_back(qxr::bench::secondsSince(start) * 1e3);
    if (!comparison.same()) state.SkipWithError("not the same");
    host.clearLines();
  }
  const double receive = qxr::bench::median(receives), compare = qxr::bench::median(compares);
  state.counters["receive_ms"] = receive;
  state.counters["compare_ms"] = compare;
  state.counters["added_ms"] = compare - receive;
}
BENCHMARK(BM_CompareOverReceive)->Arg(200)->Arg(1000)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
