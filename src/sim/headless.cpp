#include "sim/headless.h"

#include "base/host.h"
#include "sim/interpreter.h"

namespace qxr {

namespace {

// The window's controls in their run-long settings; the plot is the only output.
class HeadlessView final : public SimulatorView {
 public:
  HeadlessView(PathPlot& plot, const HeadlessOptions& options) : plot_(plot), options_(options) {}
  void attach(const SimInterpreter& interpreter) { interpreter_ = &interpreter; }

  void PutPixel(double y, double x) override {
    if (plot_.PutPixel(y, x, interpreter_->plotContext()))
      position = positionText(interpreter_->Pos.X, interpreter_->Pos.Y, interpreter_->Pos.Z);
  }
  void DisplayCommandLine(int) override {
    if (options_.executed) options_.executed->push_back(interpreter_->CmdIndex);
  }
  void setLamp(int, bool) override {}
  void setStartEnabled(bool) override {}
  void setStopEnabled(bool) override {}
  void setPauseEnabled(bool) override {}
  void setInputButtonVisible(bool) override {}
  void startRunTimer() override {}
  void stopRunTimer() override {}
  int stepSelection() const override { return 1; }
  int unitSelection() const override { return options_.seconds ? 1 : 0; }
  int resolutionSelection() const override { return options_.resolution; }
  bool inputWaitsHonoured() const override { return false; }
  bool outputsDriven() const override { return false; }
  double displayZValue() const override { return options_.displayZ; }
  void showExtents(const std::string& text) override { extents = text; }

  std::string extents;
  std::string position;

 private:
  PathPlot& plot_;
  const HeadlessOptions& options_;
  const SimInterpreter* interpreter_ = nullptr;
};

// Dwells do not wait, so the clock is never read for them.
class StillClock final : public Clock {
 public:
  std::uint32_t tickMs() override { return 0; }
  void sleepMs(std::uint32_t) override {}
};

}  // namespace

HeadlessResult runHeadless(CommandTable& table, const HeadlessOptions& options, PathPlot& plot) {
  plot.DirX = options.mirrorX ? -1 : 1;
  plot.DirY = options.mirrorY ? 1 : -1;
  plot.ShowXYCoord();
  HeadlessView view(plot, options);
  StillClock clock;
  SimInterpreter interpreter(table, view, clock, plot.image().width(), plot.image().height());
  view.attach(interpreter);
  interpreter.setWaitForDwells(false);

  HeadlessResult result;
  interpreter.StartBtnClick();
  while (result.ticks < options.maxTicks) {
    if (interpreter.RunState == RunActive) {
      interpreter.RunTimerTimer();
      ++result.ticks;
    } else if (interpreter.RunState == RunPaused) {
      interpreter.StartBtnClick();  // past a program stop
    } else {
      break;
    }
  }
  result.finished = interpreter.RunState == RunIdle;
  interpreter.FormClose();
  result.extents = view.extents;
  result.position = view.position;
  return result;
}

}  // namespace qxr
