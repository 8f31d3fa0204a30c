#pragma once
// The simulation interpreter: runs the command table one record at a time,
// moving a simulated tool, in a pre-pass that finds the extents of the path
// and in a run driven by a 10 ms timer with one motion step per tick.
#include <array>
#include <cstdint>
#include <string>

#include "sim/convert.h"
#include "sim/plot.h"
#include "sim/programflow.h"

namespace qxr {

class Clock;

// What the interpreter needs from the simulator window.
class SimulatorView {
 public:
  virtual ~SimulatorView() = default;

  // Plots the tool at X = x, Y = y (Y first).
  virtual void PutPixel(double y, double x) = 0;
  // Shows the program line of the record that starts.
  virtual void DisplayCommandLine(int line) = 0;
  // Output lamp 1-32: red when on, green when off.
  virtual void setLamp(int lamp, bool on) = 0;
  virtual void setStartEnabled(bool enabled) = 0;
  virtual void setStopEnabled(bool enabled) = 0;
  virtual void setPauseEnabled(bool enabled) = 0;
  // The input-wait release button `S_InBtn`.
  virtual void setInputButtonVisible(bool visible) = 0;
  virtual void startRunTimer() = 0;
  virtual void stopRunTimer() = 0;
  // `StepSel`: 0 single step, 1 continuous.
  virtual int stepSelection() const = 0;
  // `SetUnit`: 0 dwell in milliseconds and the large steps, 1 seconds and the small steps.
  virtual int unitSelection() const = 0;
  // `ResolutionSel`: the selected step index, -1 when none is selected.
  virtual int resolutionSelection() const = 0;
  virtual bool inputWaitsHonoured() const = 0;  // `InCheck`
  virtual bool outputsDriven() const = 0;       // `OutCheck`
  virtual double displayZValue() const = 0;     // `FSpinEdit1`
  virtual void showExtents(const std::string& text) = 0;  // `Panel3`
};

enum RunStateValue : int { RunIdle = 8, RunActive = 1, RunPaused = 2, RunStepWait = 4 };

// Arc planes: the two axes an arc moves and the offsets that place its centre.
enum PlaneValue : std::uint8_t { PlaneXY = 1, PlaneZX = 2, PlaneYZ = 3 };

struct AxisValues {
  double X = 0.0, Y = 0.0, Z = 0.0, U = 0.0;
  double& operator[](int axis) { return axis == 0 ? X : axis == 1 ? Y : axis == 2 ? Z : U; }
  double operator[](int axis) const { return axis == 0 ? X : axis == 1 ? Y : axis == 2 ? Z : U; }
};

// Centre (cx, cy) of an arc of radius |r| from (x0, y0) to (x1, y1) in the
// arc's plane: a positive R asks for the arc of at most half a circle.
void radiusCentre(double x0, double y0, double x1, double y1, double r, bool clockwise, double& cx, double& cy);

class SimInterpreter {
 public:
  static constexpr int kCallStackSize = ProgramFlow::kCallStackSize;
  static constexpr int kLampCount = 32;
  // Work a pre-pass may do (handler calls and arc steps, a fraction of a
  // second); a program whose flow words would keep it going longer is scaled
  // by what was found until then, and START never freezes the window.
  static constexpr long kPrePassLimit = 10'000'000;

  static constexpr double kLineSteps[2][5] = {{100, 1000, 2000, 5000, 10000}, {0.5, 1, 2, 5, 10}};
  static constexpr double kArcSteps[5] = {0.5, 1, 2, 3, 5};

  SimInterpreter(CommandTable& table, SimulatorView& view, Clock& clock, int plotWidth = kPlotWidth,
                 int plotHeight = kPlotHeight);

  // Run control.
  void StartBtnClick();
  void StopBtnClick();
  void PauseBtnClick();
  void S_InBtnClick();
  void RunTimerTimer();
  void FormClose();

  // One call of the handler of record `index`.
  void RunOneCommand(int index, bool prePass);
  // The step taken when a command has finished during the run.
  void Set_DONEXT_Flag();
  // Normalises an angle in degrees to [0, 360).
  static double convert_angle(double a);

  // Headless runs do not wait out dwells.
  void setWaitForDwells(bool wait) { waitForDwells_ = wait; }
  bool waitingForInput() const { return waitingForInput_; }
  bool incremental() const { return incremental_; }
  PlotContext plotContext() const;
  const CommandTable& table() const { return table_; }

  int CmdIndex = 0;
  bool DoNext = false;
  bool FirstRun = true;
  int RunState = RunIdle;
  std::uint8_t Plane = PlaneXY;
  // The calls in progress (`CallDepth`, `CallStack`).
  const ProgramFlow& flow() const { return flow_; }
  double LineStep = 100.0;
  double ArcStep = 0.5;
  AxisValues Pos, BaseOfs, SetOfs;
  double XMin = 0.0, XMax = 0.0, YMin = 0.0, YMax = 0.0;
  double ScaleX = 1.0, ScaleY = 1.0;
  double DisplayZ = 0.0;

 private:
  void freshStart();
  void endOfRun();
  void finish(bool prePass);
  void followFlow(CommandRecord& record, bool prePass);
  double target(int axis, double value) const;
  void widenExtents(double x, double y);

  void Do_G00(const CommandRecord& record, bool prePass);
  void Do_G01(const CommandRecord& record, bool prePass);
  void linearMove(const CommandRecord& record, bool prePass, bool proportional);
  void Do_G02G03(const CommandRecord& record, bool prePass);
  void Do_G04(const CommandRecord& record);
  void Do_G28(bool prePass);
  void Do_G90(bool prePass);
  void Do_G91(bool prePass);
  void Do_G92(const CommandRecord& record, bool prePass);
  void selectPlane(std::uint8_t planeCode, bool prePass);
  void Do_IO(const CommandRecord& record);
  void programStop();

  CommandTable& table_;
  SimulatorView& view_;
  Clock& clock_;
  ProgramFlow flow_;
  int plotWidth_;
  int plotHeight_;
  bool waitForDwells_ = true;
  bool waitingForInput_ = false;
  bool stoppedAtM00_ = false;
  bool incremental_ = false;
  long prePassWork_ = 0;  // see kPrePassLimit

  // Working values of the command in progress.
  struct LinearMove {
    AxisValues position, target, step, direction;
    std::uint8_t mask = 0;
  } move_;
  struct ArcMove {
    int first = 0, second = 1;  // axes of the plane
    double cx = 0, cy = 0, radius = 0, angle = 0, endAngle = 0;
    bool clockwise = false;
  } arc_;
  std::uint32_t dwellStart_ = 0;
  double dwellMs_ = 0.0;
};

}  // namespace qxr
