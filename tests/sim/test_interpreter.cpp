// The simulation interpreter: motion, arcs, dwell, flow words and run control.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/host.h"
#include "sim/convert.h"
#include "sim/interpreter.h"

namespace qxr {
namespace {

struct Point {
  double x, y;
};

class FakeView final : public SimulatorView {
 public:
  std::vector<Point> points;
  std::vector<int> shownLines;
  bool lamps[33] = {};
  bool startEnabled = true, stopEnabled = false, pauseEnabled = false, inputVisible = false;
  bool timerRunning = false;
  int step = 1, unit = 1, resolution = 1;  // continuous, seconds, LineStep 1 and ArcStep 1 degree
  bool inCheck = false, outCheck = false;
  double spin = 0.0;
  std::string extents;
  const SimInterpreter* interpreter = nullptr;
  std::vector<double> zs;

  void PutPixel(double y, double x) override {
    points.push_back({x, y});
    if (interpreter) zs.push_back(interpreter->Pos.Z);
  }
  void DisplayCommandLine(int line) override { shownLines.push_back(line); }
  void setLamp(int lamp, bool on) override { lamps[lamp] = on; }
  void setStartEnabled(bool enabled) override { startEnabled = enabled; }
  void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
  void setPauseEnabled(bool enabled) override { pauseEnabled = enabled; }
  void setInputButtonVisible(bool visible) override { inputVisible = visible; }
  void startRunTimer() override { timerRunning = true; }
  void stopRunTimer() override { timerRunning = false; }
  int stepSelection() const override { return step; }
  int unitSelection() const override { return unit; }
  int resolutionSelection() const override { return resolution; }
  bool inputWaitsHonoured() const override { return inCheck; }
  bool outputsDriven() const override { return outCheck; }
  double displayZValue() const override { return spin; }
  void showExtents(const std::string& text) override { extents = text; }

  bool passesThrough(double x, double y, double tolerance = 1e-6) const {
    for (const Point& p : points)
      if (std::fabs(p.x - x) < tolerance && std::fabs(p.y - y) < tolerance) return true;
    return false;
  }
  // Index of the first point near (x, y), -1 when none.
  int firstNear(double x, double y, double tolerance) const {
    for (std::size_t i = 0; i < points.size(); ++i)
      if (std::hypot(points[i].x - x, points[i].y - y) < tolerance) return static_cast<int>(i);
    return -1;
  }
};

// Each reading moves the clock on by one timer tick unless told otherwise.
class SteppedClock final : public Clock {
 public:
  std::uint32_t now = 1000;
  std::uint32_t autoAdvance = 10;
  std::uint32_t tickMs() override { return now += autoAdvance; }
  void sleepMs(std::uint32_t ms) override { now += ms; }
};

// A program converted and loaded into an interpreter with a fake window.
struct Sim {
  explicit Sim(const std::vector<std::string>& lines) {
    const auto result = converter.ConvertProgram(lines);
    EXPECT_TRUE(result.ok()) << "line " << result.EL;
    view.interpreter = &interpreter;
  }
  // Ticks until the run leaves the active state (or waits); false when it
  // did not within the limit.
  bool runToEnd(int limit = 100000) {
    for (int i = 0; i < limit; ++i) {
      if (interpreter.RunState != RunActive || !view.timerRunning) return true;
      interpreter.RunTimerTimer();
    }
    return false;
  }
  bool startAndRun() {
    interpreter.StartBtnClick();
    return runToEnd();
  }
  CommandRecord& record(int i) { return converter.table()[i]; }

  NcConverter converter;
  FakeView view;
  SteppedClock clock;
  SimInterpreter interpreter{converter.table(), view, clock};
};

TEST(SimMotion, RapidMovesDiagonallyFirstAndLinearMovesInProportion) {
  Sim rapid({"G00 X10 Y4"});
  ASSERT_TRUE(rapid.startAndRun());
  EXPECT_TRUE(rapid.view.passesThrough(4, 4));
  EXPECT_TRUE(rapid.view.passesThrough(7, 4));
  EXPECT_FALSE(rapid.view.passesThrough(5, 2));
  EXPECT_DOUBLE_EQ(rapid.interpreter.Pos.X, 10);
  EXPECT_EQ(rapid.interpreter.RunState, RunIdle);
  EXPECT_TRUE(rapid.interpreter.FirstRun);

  Sim linear({"G01 X10 Y4", "X-2 U7"});
  ASSERT_TRUE(linear.startAndRun());
  EXPECT_TRUE(linear.view.passesThrough(5, 2));
  EXPECT_TRUE(linear.view.passesThrough(4, 1.6));
  EXPECT_FALSE(linear.view.passesThrough(4, 0));
  EXPECT_DOUBLE_EQ(linear.interpreter.Pos.X, -2);
  EXPECT_DOUBLE_EQ(linear.interpreter.Pos.U, 7);
  EXPECT_EQ(linear.view.extents, "(X-2.000,Y0.000) , (X10.000,Y4.000)");
  // The first call after START resets the marker at (0, 0); every tick then
  // plots one step of LineStep along the longest axis (the shorter axis may
  // need one more tick for rounding).
  EXPECT_GE(linear.view.points.size(), 1u + 10u + 12u);
  EXPECT_LE(linear.view.points.size(), 1u + 11u + 12u);
  EXPECT_EQ(linear.view.shownLines, (std::vector<int>{0, 1}));
}

TEST(SimMotion, IncrementalMovesCountFromTheLastEndAndG90ReturnsToAbsolute) {
  Sim sim({"G01 X5", "G91", "G01 X10", "X10", "Y-3 X10", "G90", "X7"});
  sim.interpreter.StartBtnClick();
  EXPECT_DOUBLE_EQ(sim.interpreter.XMax, 35);
  EXPECT_DOUBLE_EQ(sim.interpreter.YMin, -3);
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_TRUE(sim.view.passesThrough(35, -3));
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.X, 7);
  EXPECT_FALSE(sim.interpreter.incremental());

  // G92 sets what is subtracted from every target; G28 clears it and goes home.
  Sim setting({"G92 X2", "G00 X5", "G28", "G00 Y1"});
  ASSERT_TRUE(setting.startAndRun());
  EXPECT_TRUE(setting.view.passesThrough(3, 0));
  EXPECT_FALSE(setting.view.passesThrough(5, 0));
  EXPECT_DOUBLE_EQ(setting.interpreter.Pos.X, 0);
  EXPECT_DOUBLE_EQ(setting.interpreter.Pos.Y, 1);
}

TEST(SimArc, FullCirclesRunTheProgrammedWay) {
  // Centre (5, 0), radius 5, starting and ending at the origin.
  Sim clockwise({"G02 X0 Y0 I5 J0"});
  ASSERT_TRUE(clockwise.startAndRun());
  const int top = clockwise.view.firstNear(5, 5, 0.1), bottom = clockwise.view.firstNear(5, -5, 0.1);
  ASSERT_GE(top, 0);
  ASSERT_GE(bottom, 0);
  EXPECT_LT(top, bottom);  // up the left side first: clockwise with Y up
  EXPECT_EQ(clockwise.view.points.size(), 1u + 360u);
  EXPECT_NEAR(clockwise.interpreter.Pos.X, 0, 1e-9);
  EXPECT_NEAR(clockwise.interpreter.XMax, 10, 1e-6);

  Sim counter({"G03 X0 Y0 I5 J0"});
  ASSERT_TRUE(counter.startAndRun());
  EXPECT_GT(counter.view.firstNear(5, 5, 0.1), counter.view.firstNear(5, -5, 0.1));
  EXPECT_EQ(counter.view.points.size(), 1u + 360u);
}

TEST(SimArc, RadiusSignChoosesTheCentre) {
  const double h = std::sqrt(75.0);  // centre height for R10 over a chord of 10
  Sim shortCw({"G02 X10 Y0 R10"});
  shortCw.interpreter.StartBtnClick();
  EXPECT_NEAR(shortCw.interpreter.YMax, 10 - h, 0.01);  // over the top, centre below
  EXPECT_NEAR(shortCw.interpreter.YMin, 0, 1e-9);
  Sim longCw({"G02 X10 Y0 R-10"});
  longCw.interpreter.StartBtnClick();
  EXPECT_NEAR(longCw.interpreter.YMax, 10 + h, 0.01);
  Sim shortCcw({"G03 X10 Y0 R10"});
  shortCcw.interpreter.StartBtnClick();
  EXPECT_NEAR(shortCcw.interpreter.YMin, h - 10, 0.01);
  EXPECT_NEAR(shortCcw.interpreter.YMax, 0, 1e-5);
  // The same holds whichever way the chord runs, and for a vertical chord.
  Sim leftwards({"G00 X10", "G02 X0 Y0 R10"});
  leftwards.interpreter.StartBtnClick();
  EXPECT_NEAR(leftwards.interpreter.YMin, h - 10, 0.01);
  EXPECT_NEAR(leftwards.interpreter.YMax, 0, 1e-5);
  Sim vertical({"G02 X0 Y10 R-10"});
  vertical.interpreter.StartBtnClick();
  EXPECT_NEAR(vertical.interpreter.XMin, -10 - h, 0.01);
  ASSERT_TRUE(vertical.runToEnd());
  EXPECT_NEAR(vertical.interpreter.Pos.Y, 10, 1e-4);
}

TEST(SimArc, CrossingZeroDegreesAndDegenerateArcs) {
  // From 350 degrees to 10 degrees clockwise about the origin, radius 10:
  // through the bottom point, never near the top.
  const double s = 10 * std::sin(10 * M_PI / 180), c = 10 * std::cos(10 * M_PI / 180);
  Sim sim({"G00 X" + std::to_string(s) + " Y-" + std::to_string(c),
           "G02 X-" + std::to_string(s) + " Y-" + std::to_string(c) + " I-" + std::to_string(s) + " J" +
               std::to_string(c)});
  sim.interpreter.StartBtnClick();
  EXPECT_NEAR(sim.interpreter.YMin, -10, 1e-3);
  EXPECT_DOUBLE_EQ(sim.interpreter.YMax, 0);
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_LT(sim.view.points.size(), 40u);

  EXPECT_DOUBLE_EQ(SimInterpreter::convert_angle(-30), 330);
  EXPECT_DOUBLE_EQ(SimInterpreter::convert_angle(730), 10);
  EXPECT_DOUBLE_EQ(SimInterpreter::convert_angle(-370), 350);

  // A radius cannot make a full circle: the run goes on instead of spinning.
  Sim full({"G02 X0 Y0 R5", "G01 X3"});
  ASSERT_TRUE(full.startAndRun());
  EXPECT_EQ(full.interpreter.RunState, RunIdle);
  EXPECT_DOUBLE_EQ(full.interpreter.Pos.X, 3);
}

TEST(SimArc, PlaneSelectionMovesTheChosenAxes) {
  // A half circle in the ZX plane from X0 to X10 about X5: Z swings to +-5, Y stays.
  Sim sim({"G18", "G02 X10 Z0 I5 K0", "G17", "G02 X0 Y0 I-5 J0"});
  sim.interpreter.StartBtnClick();
  EXPECT_NEAR(sim.interpreter.XMax, 10, 1e-6);
  ASSERT_TRUE(sim.runToEnd());
  double zMin = 0, zMax = 0;
  for (double z : sim.view.zs) {
    zMin = std::min(zMin, z);
    zMax = std::max(zMax, z);
  }
  EXPECT_NEAR(std::max(-zMin, zMax), 5, 1e-3);
  EXPECT_TRUE(sim.view.passesThrough(5, 5, 0.1) || sim.view.passesThrough(5, -5, 0.1));
  EXPECT_EQ(sim.interpreter.Plane, PlaneXY);
}

TEST(SimFlow, LoopRunsItsBodyTheGivenNumberOfTimesEveryRun) {
  // LOOP N2 lands on the record before line index 2: the G01 X10 body.
  Sim sim({"G91", "G01 X10", "LOOP N2 L3", "M30"});
  ASSERT_TRUE(sim.startAndRun());
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.X, 30);
  EXPECT_DOUBLE_EQ(sim.interpreter.XMax, 30);
  ASSERT_TRUE(sim.startAndRun());
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.X, 30);

  Sim once({"G91", "G01 X10", "LOOP N2", "M30"});
  ASSERT_TRUE(once.startAndRun());
  EXPECT_DOUBLE_EQ(once.interpreter.Pos.X, 10);
}

TEST(SimFlow, CallRunsTheSubprogramAndReturnsAfterIt) {
  Sim sim({"G91", "CALL N4 L2", "M30", "G01 X5", "M99"});
  sim.interpreter.StartBtnClick();
  // The pre-pass goes on past M30 through the subprogram text; the CALL
  // counter is back where it was.
  EXPECT_DOUBLE_EQ(sim.interpreter.XMax, 15);
  EXPECT_DOUBLE_EQ(sim.record(1).Z, 2);
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.X, 10);
  EXPECT_EQ(sim.interpreter.RunState, RunIdle);
  EXPECT_DOUBLE_EQ(sim.record(1).Z, 2);

  // M99 or M30 at depth 0 ends the run.
  Sim end({"G01 X10", "M99", "G01 X50"});
  ASSERT_TRUE(end.startAndRun());
  EXPECT_DOUBLE_EQ(end.interpreter.Pos.X, 10);
  EXPECT_DOUBLE_EQ(end.interpreter.XMax, 50);
}

TEST(SimFlow, RunawayJumpsAndCallsEndByThemselves) {
  // A jump to the first line would land before the table: it lands on record 0.
  Sim jump({"G91 G01 X1", "JMP N0"});
  ASSERT_TRUE(jump.startAndRun());
  EXPECT_DOUBLE_EQ(jump.interpreter.Pos.X, 1000);  // first pass and 999 jumps
  EXPECT_EQ(jump.interpreter.RunState, RunIdle);

  // Calls nested eight deep end the run; the pre-pass does not follow them
  // that deep.
  std::vector<std::string> nested{"G91", "CALL N4", "M30"};
  for (int k = 0; k < 10; ++k) {
    nested.push_back("G01 X1");
    nested.push_back("CALL N" + std::to_string(6 + 2 * k));
  }
  nested.push_back("M99");
  Sim recursive(nested);
  ASSERT_TRUE(recursive.startAndRun());
  EXPECT_EQ(recursive.interpreter.RunState, RunIdle);
  EXPECT_EQ(recursive.interpreter.flow().depth(), SimInterpreter::kCallStackSize);
  EXPECT_DOUBLE_EQ(recursive.interpreter.Pos.X, 7);

  // A target that exists nowhere does not jump.
  Sim missing({"JMP N40", "G01 X2"});
  ASSERT_TRUE(missing.startAndRun());
  EXPECT_DOUBLE_EQ(missing.interpreter.Pos.X, 2);
}

TEST(SimDwell, LastsTheGivenTimeInEitherUnit) {
  Sim seconds({"G04 X2.5"});
  seconds.clock.autoAdvance = 0;
  seconds.interpreter.StartBtnClick();
  seconds.interpreter.RunTimerTimer();  // starts the dwell
  seconds.clock.now += 2500;
  seconds.interpreter.RunTimerTimer();
  EXPECT_EQ(seconds.interpreter.RunState, RunActive);
  seconds.clock.now += 1;
  seconds.interpreter.RunTimerTimer();
  EXPECT_EQ(seconds.interpreter.RunState, RunIdle);

  Sim millis({"G04 X2.5"});
  millis.clock.autoAdvance = 0;
  millis.view.unit = 0;
  millis.interpreter.StartBtnClick();
  millis.interpreter.RunTimerTimer();
  millis.clock.now += 2;
  millis.interpreter.RunTimerTimer();
  EXPECT_EQ(millis.interpreter.RunState, RunActive);
  millis.clock.now += 1;
  millis.interpreter.RunTimerTimer();
  EXPECT_EQ(millis.interpreter.RunState, RunIdle);

  // The tick counter wraps around without ending a dwell early.
  Sim wrap({"G04 X1"});
  wrap.clock.autoAdvance = 0;
  wrap.clock.now = 0xFFFFFF00u;
  wrap.interpreter.StartBtnClick();
  wrap.interpreter.RunTimerTimer();
  wrap.clock.now += 600;
  wrap.interpreter.RunTimerTimer();
  EXPECT_EQ(wrap.interpreter.RunState, RunActive);
  wrap.clock.now += 401;
  wrap.interpreter.RunTimerTimer();
  EXPECT_EQ(wrap.interpreter.RunState, RunIdle);
}

TEST(SimRunControl, SingleStepPauseStopAndProgramStop) {
  Sim sim({"G01 X3", "G04 X0", "G02 I1", "G01 Y2"});
  sim.view.step = 0;
  sim.interpreter.StartBtnClick();
  EXPECT_FALSE(sim.view.startEnabled);
  EXPECT_TRUE(sim.view.stopEnabled);
  EXPECT_TRUE(sim.view.pauseEnabled);
  ASSERT_TRUE(sim.runToEnd());
  // One whole record per START.
  EXPECT_EQ(sim.interpreter.RunState, RunStepWait);
  EXPECT_TRUE(sim.view.startEnabled);
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.X, 3);
  sim.interpreter.StartBtnClick();  // the dwell
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_EQ(sim.interpreter.CmdIndex, 1);
  sim.interpreter.StartBtnClick();  // the whole circle
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_EQ(sim.interpreter.CmdIndex, 2);
  EXPECT_NEAR(sim.interpreter.Pos.X, 3, 1e-9);

  // PAUSE halts the move in place; START carries it on, even on the last record.
  sim.interpreter.StartBtnClick();
  sim.interpreter.RunTimerTimer();
  sim.interpreter.PauseBtnClick();
  EXPECT_EQ(sim.interpreter.RunState, RunPaused);
  EXPECT_FALSE(sim.view.timerRunning);
  EXPECT_FALSE(sim.view.pauseEnabled);
  sim.interpreter.RunTimerTimer();  // a stray tick does nothing while paused
  EXPECT_NEAR(sim.interpreter.Pos.Y, 1, 1e-6);
  sim.interpreter.StartBtnClick();
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.Y, 2);

  // START after the last step ends the run; the next START begins afresh.
  sim.interpreter.StartBtnClick();
  EXPECT_EQ(sim.interpreter.RunState, RunIdle);
  EXPECT_FALSE(sim.view.stopEnabled);
  sim.view.step = 1;
  sim.interpreter.StartBtnClick();
  EXPECT_EQ(sim.interpreter.CmdIndex, 0);
  sim.interpreter.RunTimerTimer();
  sim.interpreter.StopBtnClick();
  EXPECT_EQ(sim.interpreter.RunState, RunIdle);
  EXPECT_TRUE(sim.interpreter.FirstRun);
  EXPECT_FALSE(sim.view.timerRunning);

  // M00 stops; START goes on with the next record.
  Sim stop({"G01 X1", "M00", "G01 X2"});
  ASSERT_TRUE(stop.startAndRun());
  EXPECT_EQ(stop.interpreter.RunState, RunPaused);
  EXPECT_DOUBLE_EQ(stop.interpreter.Pos.X, 1);
  stop.interpreter.StartBtnClick();
  ASSERT_TRUE(stop.runToEnd());
  EXPECT_EQ(stop.interpreter.RunState, RunIdle);
  EXPECT_DOUBLE_EQ(stop.interpreter.Pos.X, 2);
}

TEST(SimRunControl, OutputLampsAndInputWaits) {
  Sim sim({"ON5", "ON0", "INH1", "OFF5", "G01 X1"});
  sim.view.outCheck = true;
  sim.view.inCheck = true;
  sim.view.lamps[5] = true;
  sim.interpreter.StartBtnClick();
  EXPECT_FALSE(sim.view.lamps[5]);  // every lamp green at a fresh start
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_TRUE(sim.view.lamps[5]);
  EXPECT_FALSE(sim.view.lamps[0]);
  EXPECT_TRUE(sim.interpreter.waitingForInput());
  EXPECT_TRUE(sim.view.inputVisible);
  EXPECT_EQ(sim.interpreter.RunState, RunActive);
  sim.interpreter.S_InBtnClick();
  EXPECT_FALSE(sim.view.inputVisible);
  ASSERT_TRUE(sim.runToEnd());
  EXPECT_FALSE(sim.view.lamps[5]);
  EXPECT_DOUBLE_EQ(sim.interpreter.Pos.X, 1);

  // STOP during a wait takes the button away; a late press does nothing.
  ASSERT_TRUE(sim.startAndRun());
  ASSERT_TRUE(sim.interpreter.waitingForInput());
  sim.interpreter.StopBtnClick();
  EXPECT_FALSE(sim.view.inputVisible);
  sim.interpreter.S_InBtnClick();
  EXPECT_FALSE(sim.view.timerRunning);
  EXPECT_EQ(sim.interpreter.RunState, RunIdle);

  // Unchecked boxes let the records pass.
  Sim plain({"ON5", "INH1", "G01 X1"});
  ASSERT_TRUE(plain.startAndRun());
  EXPECT_FALSE(plain.view.lamps[5]);
  EXPECT_DOUBLE_EQ(plain.interpreter.Pos.X, 1);
}

TEST(SimScale, ExtentsSetTheScaleAndAPointPathKeepsIt) {
  Sim sim({"G01 X-10 Y5", "X20"});
  sim.interpreter.StartBtnClick();
  EXPECT_DOUBLE_EQ(sim.interpreter.ScaleX, 403.0 / 30);
  EXPECT_DOUBLE_EQ(sim.interpreter.ScaleY, 347.0 / 30);
  EXPECT_DOUBLE_EQ(sim.interpreter.LineStep, 1);
  EXPECT_DOUBLE_EQ(sim.interpreter.ArcStep, 1);

  Sim point({"G01 Z5", "G04 X0"});
  point.view.resolution = -1;  // no selection: the first step
  point.view.unit = 0;
  point.interpreter.StartBtnClick();
  EXPECT_DOUBLE_EQ(point.interpreter.ScaleX, 1);
  EXPECT_DOUBLE_EQ(point.interpreter.LineStep, 100);
  EXPECT_DOUBLE_EQ(point.interpreter.ArcStep, 0.5);
  EXPECT_EQ(point.view.extents, "(X0.000,Y0.000) , (X0.000,Y0.000)");
  ASSERT_TRUE(point.runToEnd());
}

// The pre-pass finds the extents without visiting every arc point; they must
// be exactly those of the points the run then plots, in every plane, both
// directions, part and full circles, centres given by offsets or a radius,
// and arcs that start or end on a quarter of the circle.
TEST(SimScale, PrePassExtentsAreThoseOfThePlottedPath) {
  const std::vector<std::vector<std::string>> programs = {
      {"G02 X20 Y0 I10 J0", "G03 X0 Y0 I-10 J0"},
      {"G01 X3 Y1", "G03 X3 Y1 I4 J-2.5"},
      {"G01 X-1 Y7", "G02 X6.5 Y-3.25 R9", "G03 X1 Y1 R-6"},
      {"G00 X5", "G02 X5 Y0 I-5 J0", "G91", "G03 X-2 Y-2 I-1 J-1", "G02 X0.3 Y4.1 I2 J2"},
      {"G18", "G01 X2 Z1", "G02 X12 Z1 I5 K0", "G03 X2 Z1 I-5 K0.5"},
      {"G19", "G01 Y-4 Z2", "G03 Y6 Z2 J5 K0", "G02 Y6 Z2 J-3 K1"},
  };
  for (int resolution = 0; resolution < 5; ++resolution) {
    for (const auto& program : programs) {
      Sim sim(program);
      sim.view.resolution = resolution;
      sim.interpreter.StartBtnClick();
      const double xMin = sim.interpreter.XMin, xMax = sim.interpreter.XMax;
      const double yMin = sim.interpreter.YMin, yMax = sim.interpreter.YMax;
      ASSERT_TRUE(sim.runToEnd());
      double x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // the extents start at the origin
      for (const Point& p : sim.view.points) {
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
      }
      SCOPED_TRACE(program.back() + " at resolution " + std::to_string(resolution));
      EXPECT_EQ(xMin, x0);
      EXPECT_EQ(xMax, x1);
      EXPECT_EQ(yMin, y0);
      EXPECT_EQ(yMax, y1);
    }
  }
}

}  // namespace
}  // namespace qxr
