// The simulator's start: converting a program of 5998 records and the
// pre-pass that finds its extents (what START runs before the first tick),
// then a whole headless run for scale.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/host.h"
#include "sim/convert.h"
#include "sim/headless.h"
#include "sim/interpreter.h"

namespace {

std::string number(double value) { return std::to_string(value); }

std::string words(std::initializer_list<std::string> parts) {
  std::string line;
  for (const std::string& part : parts) line += part;
  return line;
}

// Lines, quarter arcs both ways, rapid moves and a few settings: 5998 records.
std::vector<std::string> fullProgram() {
  std::vector<std::string> lines;
  lines.reserve(qxr::CommandTable::kMaxRecords);
  double x = 0, y = 0;
  for (int i = 0; static_cast<int>(lines.size()) < qxr::CommandTable::kMaxRecords; ++i) {
    switch (i % 6) {
      case 0: lines.push_back(words({"G00 X", number(x), " Y", number(y)})); break;
      case 1: x += 40; lines.push_back(words({"G01 X", number(x), " F1200"})); break;
      case 2:  // quarter circle counter-clockwise, bottom to right
        lines.push_back(words({"G03 X", number(x + 20), " Y", number(y + 20), " I0 J20"}));
        x += 20, y += 20;
        break;
      case 3: y += 30; lines.push_back(words({"Y", number(y)})); break;
      case 4:  // quarter circle clockwise, left to top
        lines.push_back(words({"G02 X", number(x + 20), " Y", number(y + 20), " I20 J0"}));
        x += 20, y += 20;
        break;
      default: lines.push_back(i % 12 == 5 ? "G04 X100" : "ON3"); break;
    }
  }
  return lines;
}

class NullView final : public qxr::SimulatorView {
 public:
  void PutPixel(double, double) override {}
  void DisplayCommandLine(int) override {}
  void setLamp(int, bool) override {}
  void setStartEnabled(bool) override {}
  void setStopEnabled(bool) override {}
  void setPauseEnabled(bool) override {}
  void setInputButtonVisible(bool) override {}
  void startRunTimer() override {}
  void stopRunTimer() override {}
  int stepSelection() const override { return 1; }
  int unitSelection() const override { return 0; }
  int resolutionSelection() const override { return -1; }  // the finest arc step
  bool inputWaitsHonoured() const override { return false; }
  bool outputsDriven() const override { return false; }
  double displayZValue() const override { return 0; }
  void showExtents(const std::string&) override {}
};

void BM_ConvertAndPrePass(benchmark::State& state) {
  const std::vector<std::string> lines = fullProgram();
  NullView view;
  for (auto _ : state) {
    qxr::NcConverter converter;
    const auto result = converter.ConvertProgram(lines);
    if (!result.ok() || converter.table().CommandCount() != qxr::CommandTable::kMaxRecords)
      state.SkipWithError("conversion failed");
    qxr::SimInterpreter interpreter(converter.table(), view, qxr::SystemClock::instance());
    interpreter.StartBtnClick();
    benchmark::DoNotOptimize(interpreter.XMax);
  }
}
BENCHMARK(BM_ConvertAndPrePass)->Unit(benchmark::kMillisecond);

void BM_ConvertOnly(benchmark::State& state) {
  const std::vector<std::string> lines = fullProgram();
  for (auto _ : state) {
    qxr::NcConverter converter;
    benchmark::DoNotOptimize(converter.ConvertProgram(lines));
  }
}
BENCHMARK(BM_ConvertOnly)->Unit(benchmark::kMillisecond);

// Every tick of the run plotted, as qxrtool nc plot does.
void BM_HeadlessRun(benchmark::State& state) {
  qxr::NcConverter converter;
  converter.ConvertProgram(fullProgram());
  qxr::HeadlessOptions options;
  options.resolution = 1;
  for (auto _ : state) {
    qxr::PathPlot plot;
    const auto result = qxr::runHeadless(converter.table(), options, plot);
    if (!result.finished) state.SkipWithError("run cut off");
    state.counters["ticks"] = static_cast<double>(result.ticks);
  }
}
BENCHMARK(BM_HeadlessRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
