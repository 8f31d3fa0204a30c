#include "sim/interpreter.h"

#include <algorithm>
#include <cmath>

#include "base/host.h"

namespace qxr {

namespace {

// The controller's arithmetic uses this value of pi throughout.
constexpr double kPi = 3.1415926;
constexpr double kInvPi = 1.0 / kPi;

constexpr int kAxisX = 0, kAxisY = 1, kAxisZ = 2, kAxisU = 3;
constexpr std::uint8_t kAxisBits[4] = {kMaskX, kMaskY, kMaskZ, kMaskU};

double recordAxis(const CommandRecord& record, int axis) {
  switch (axis) {
    case kAxisX: return record.X;
    case kAxisY: return record.Y;
    case kAxisZ: return record.Z;
    default: return record.U;
  }
}

// The offset field that places an arc centre along `axis`: I along X, J
// along Y, K along Z.
double recordOffset(const CommandRecord& record, int axis) {
  switch (axis) {
    case kAxisX: return record.I;
    case kAxisY: return record.J;
    default: return record.K;
  }
}

}  // namespace

// Centre of an arc of radius |r| from (x0, y0) to (x1, y1): one of the two
// points on the chord's bisector at distance |r| from both ends (when |r| is
// too short to reach, the absolute value of the discriminant still gives a
// pair). A positive R asks for the arc of at most half a circle, whose centre
// lies on the side the arc turns to: right of the chord for G02, left for
// G03; a negative R for the other one. The side is taken from the geometry,
// so the choice holds whichever way the chord runs.
void radiusCentre(double x0, double y0, double x1, double y1, double r, bool clockwise, double& cx,
                  double& cy) {
  const double radius = std::fabs(r);
  double xa, ya, xb, yb;
  if (x0 != x1) {
    const double g = (x1 * x1 + y1 * y1 - x0 * x0 - y0 * y0) / (2 * (x1 - x0));
    const double m = (y0 - y1) / (x1 - x0);
    const double a = m * m + 1;
    const double b = 2 * m * g - 2 * y1 - 2 * x1 * m;
    const double c = x1 * x1 - 2 * x1 * g + g * g + y1 * y1 - radius * radius;
    const double d = b * b - 4 * a * c;
    const double s = d >= 0 ? 1.0 : -1.0;
    const double q = std::sqrt(std::fabs(d));
    ya = (-b + s * q) / (2 * a);
    yb = (-b - s * q) / (2 * a);
    xa = g + m * ya;
    xb = g + m * yb;
  } else {
    const double g = (x1 * x1 + y1 * y1 - x0 * x0 - y0 * y0) / (2 * (y1 - y0));
    const double m = (x0 - x1) / (y1 - y0);
    const double a = m * m + 1;
    const double b = 2 * g * m - 2 * x1 - 2 * y1 * m;
    const double c = x1 * x1 - 2 * y1 * g + g * g + y1 * y1 - radius * radius;
    const double d = b * b - 4 * a * c;
    const double s = d >= 0 ? 1.0 : -1.0;
    const double q = std::sqrt(std::fabs(d));
    xa = (-b + s * q) / (2 * a);
    xb = (-b - s * q) / (2 * a);
    ya = g + m * xa;
    yb = g + m * xb;
  }
  const bool wantLeft = clockwise ? r < 0 : r > 0;
  const bool aIsLeft = (x1 - x0) * (ya - y0) - (y1 - y0) * (xa - x0) > 0;
  const bool takeA = aIsLeft == wantLeft;
  cx = takeA ? xa : xb;
  cy = takeA ? ya : yb;
}

SimInterpreter::SimInterpreter(CommandTable& table, SimulatorView& view, Clock& clock, int plotWidth,
                               int plotHeight)
    : table_(table), view_(view), clock_(clock), flow_(table), plotWidth_(plotWidth), plotHeight_(plotHeight) {}

PlotContext SimInterpreter::plotContext() const {
  PlotContext context;
  context.firstRun = FirstRun;
  context.posZ = Pos.Z;
  context.displayZ = DisplayZ;
  context.xMin = XMin;
  context.yMin = YMin;
  context.scaleX = ScaleX;
  context.scaleY = ScaleY;
  return context;
}

double SimInterpreter::convert_angle(double a) {
  if (!std::isfinite(a)) return a;
  if (std::fabs(a) >= 360) {
    if (a >= 360) {
      while (a >= 360) a -= 360;
      return a;
    }
    while (a <= -360) a += 360;
  }
  if (a < 0) a += 360;
  return a;
}

// Incremental mode measures each move from where the previous one ended;
// absolute mode adds the base and subtracts the coordinate setting.
double SimInterpreter::target(int axis, double value) const {
  if (incremental_) return Pos[axis] + value;
  return value + BaseOfs[axis] - SetOfs[axis];
}

void SimInterpreter::widenExtents(double x, double y) {
  if (x < XMin) XMin = x;
  if (x > XMax) XMax = x;
  if (y < YMin) YMin = y;
  if (y > YMax) YMax = y;
}

// ---- run control ----

void SimInterpreter::StartBtnClick() {
  DisplayZ = view_.displayZValue();
  switch (RunState) {
    case RunIdle:
      if (FirstRun) freshStart();
      return;
    case RunPaused:
      if (stoppedAtM00_) {
        // The program stop has done its work: go on with the next record.
        stoppedAtM00_ = false;
        if (CmdIndex + 1 >= table_.CommandCount()) {
          endOfRun();
          return;
        }
        DoNext = true;
        ++CmdIndex;
      }
      // A paused move carries on, the last record's included.
      RunState = RunActive;
      view_.setStartEnabled(false);
      view_.setPauseEnabled(true);
      if (!waitingForInput_) view_.startRunTimer();
      return;
    case RunStepWait:
      if (CmdIndex + 1 >= table_.CommandCount()) {
        endOfRun();
        return;
      }
      DoNext = true;
      ++CmdIndex;
      RunState = RunActive;
      view_.setStartEnabled(false);
      view_.startRunTimer();
      return;
    default:
      return;
  }
}

void SimInterpreter::freshStart() {
  for (int k = 0; k < table_.CommandCount(); ++k) ProgramFlow::resetCounters(table_[k]);
  const int r = std::clamp(view_.resolutionSelection(), 0, 4);
  LineStep = kLineSteps[view_.unitSelection() == 1 ? 1 : 0][r];
  ArcStep = kArcSteps[r];
  ScaleX = ScaleY = 1.0;
  Plane = PlaneXY;
  XMin = XMax = YMin = YMax = 0.0;
  Pos = BaseOfs = SetOfs = AxisValues{};
  incremental_ = false;
  DoNext = true;
  flow_.clearCalls();
  CmdIndex = 0;
  waitingForInput_ = false;
  stoppedAtM00_ = false;
  view_.setInputButtonVisible(false);
  view_.setStartEnabled(false);

  prePassWork_ = 0;
  while (CmdIndex < table_.CommandCount() && prePassWork_++ < kPrePassLimit) {
    RunOneCommand(CmdIndex, true);
    if (DoNext) ++CmdIndex;
  }
  view_.showExtents(extentsText(XMin, YMin, XMax, YMax));

  // The larger extent spans the plot less its margins; a path that stays on
  // one point keeps the scale 1 and is drawn at the origin.
  const double extent = (YMax - YMin) >= (XMax - XMin) ? YMax - YMin : XMax - XMin;
  if (extent > 0 && std::isfinite(extent)) {
    ScaleX = (plotWidth_ - 10) / extent;
    ScaleY = (plotHeight_ - 10) / extent;
  }

  flow_.clearCalls();
  CmdIndex = 0;
  DoNext = true;
  Pos = BaseOfs = SetOfs = AxisValues{};
  incremental_ = false;
  Plane = PlaneXY;
  view_.setStopEnabled(true);
  view_.setPauseEnabled(true);
  for (int lamp = 1; lamp <= kLampCount; ++lamp) view_.setLamp(lamp, false);
  view_.PutPixel(0.0, 0.0);  // with FirstRun still set: the marker goes home
  RunState = RunActive;
  FirstRun = false;
  view_.startRunTimer();
}

void SimInterpreter::StopBtnClick() {
  view_.setStartEnabled(true);
  view_.setStopEnabled(false);
  view_.setPauseEnabled(false);
  view_.stopRunTimer();
  // An input wait ends with the run, so its button cannot restart the timer.
  waitingForInput_ = false;
  stoppedAtM00_ = false;
  view_.setInputButtonVisible(false);
  FirstRun = true;
  RunState = RunIdle;
}

void SimInterpreter::PauseBtnClick() {
  if (RunState != RunActive) return;
  view_.stopRunTimer();
  view_.setPauseEnabled(false);
  view_.setStartEnabled(true);
  RunState = RunPaused;
}

void SimInterpreter::S_InBtnClick() {
  if (!waitingForInput_) return;
  waitingForInput_ = false;
  view_.setInputButtonVisible(false);
  if (CmdIndex + 1 >= table_.CommandCount()) {
    endOfRun();
    return;
  }
  DoNext = true;
  ++CmdIndex;
  if (RunState == RunActive) view_.startRunTimer();
}

void SimInterpreter::RunTimerTimer() {
  if (RunState != RunActive || waitingForInput_) return;
  RunOneCommand(CmdIndex, false);
}

void SimInterpreter::FormClose() {
  view_.stopRunTimer();
  RunState = RunIdle;
}

void SimInterpreter::endOfRun() {
  RunState = RunIdle;
  view_.setStartEnabled(true);
  view_.setStopEnabled(false);
  view_.setPauseEnabled(false);
  view_.stopRunTimer();
  waitingForInput_ = false;
  view_.setInputButtonVisible(false);
  FirstRun = true;
}

void SimInterpreter::Set_DONEXT_Flag() {
  if (view_.stepSelection() == 0) {
    view_.stopRunTimer();
    view_.setStartEnabled(true);
    RunState = RunStepWait;
    return;
  }
  if (CmdIndex + 1 < table_.CommandCount()) {
    DoNext = true;
    ++CmdIndex;
    return;
  }
  endOfRun();
}

void SimInterpreter::finish(bool prePass) {
  if (prePass) {
    DoNext = true;
  } else {
    Set_DONEXT_Flag();
  }
}

// ---- dispatch ----

void SimInterpreter::RunOneCommand(int index, bool prePass) {
  if (index < 0 || index >= table_.CommandCount()) {
    if (!prePass) endOfRun();
    return;
  }
  CommandRecord& record = table_[index];
  if (DoNext && !prePass) view_.DisplayCommandLine(record.N);
  switch (record.C) {
    case code::G00: Do_G00(record, prePass); break;
    case code::G01: Do_G01(record, prePass); break;
    case code::G02:
    case code::G03:
    case code::G02R:
    case code::G03R: Do_G02G03(record, prePass); break;
    case code::G04:
      if (!prePass) Do_G04(record);
      break;
    case code::G17:
    case code::G18:
    case code::G19: selectPlane(record.C, prePass); break;
    case code::G28: Do_G28(prePass); break;
    case code::M00:
      if (!prePass) programStop();
      break;
    case code::M02:
    case code::M30:
    case code::M99:
    case code::Jump:
    case code::Loop:
    case code::Call: followFlow(record, prePass); break;
    case code::Input:
      if (prePass) break;
      if (view_.inputWaitsHonoured()) {
        Do_IO(record);
      } else {
        Set_DONEXT_Flag();
      }
      break;
    case code::Output:
      if (prePass) break;
      if (view_.outputsDriven()) {
        Do_IO(record);
      } else {
        Set_DONEXT_Flag();
      }
      break;
    case code::G90: Do_G90(prePass); break;
    case code::G91: Do_G91(prePass); break;
    case code::G92: Do_G92(record, prePass); break;
    default:
      if (!prePass) Set_DONEXT_Flag();
      break;
  }
}

// ---- motion ----

void SimInterpreter::Do_G00(const CommandRecord& record, bool prePass) { linearMove(record, prePass, false); }
void SimInterpreter::Do_G01(const CommandRecord& record, bool prePass) { linearMove(record, prePass, true); }

// G00 moves every axis by the same step per tick; G01 scales the steps so
// that all axes arrive together.
void SimInterpreter::linearMove(const CommandRecord& record, bool prePass, bool proportional) {
  LinearMove& m = move_;
  if (DoNext) {
    DoNext = false;
    m.position = Pos;
    m.target = Pos;
    m.mask = record.MX & (kMaskX | kMaskY | kMaskZ | kMaskU);
    AxisValues distance;
    for (int a = 0; a < 4; ++a) {
      m.direction[a] = -1.0;
      if (!(m.mask & kAxisBits[a])) continue;
      m.target[a] = target(a, recordAxis(record, a));
      m.direction[a] = m.target[a] > m.position[a] ? 1.0 : -1.0;
      distance[a] = std::fabs(m.target[a] - m.position[a]);
    }
    double longest = 0.0;
    for (int a = 0; a < 4; ++a) longest = std::max(longest, distance[a]);
    for (int a = 0; a < 4; ++a)
      m.step[a] = (proportional && longest != 0.0) ? distance[a] / longest * LineStep : LineStep;
    if (prePass) {
      // Only X and Y count for the extents.
      if (m.mask & kMaskX) {
        XMin = std::min(XMin, m.target.X);
        XMax = std::max(XMax, m.target.X);
      }
      if (m.mask & kMaskY) {
        YMin = std::min(YMin, m.target.Y);
        YMax = std::max(YMax, m.target.Y);
      }
      for (int a = 0; a < 4; ++a)
        if (m.mask & kAxisBits[a]) Pos[a] = m.target[a];
      DoNext = true;
      return;
    }
  }
  for (int a = kAxisX; a <= kAxisZ; ++a) {
    if (!(m.mask & kAxisBits[a])) continue;
    double& v = m.position[a];
    if (m.direction[a] != 1.0) {
      v -= m.step[a];
      if (!(v > m.target[a])) {
        v = m.target[a];
        m.mask &= ~kAxisBits[a];
      }
    } else {
      v += m.step[a];
      if (!(m.target[a] > v)) {
        v = m.target[a];
        m.mask &= ~kAxisBits[a];
      }
    }
  }
  Pos.X = m.position.X;
  Pos.Y = m.position.Y;
  Pos.Z = m.position.Z;
  view_.PutPixel(Pos.Y, Pos.X);
  if (m.mask & kMaskU) {
    Pos.U = m.target.U;
    m.mask &= ~kMaskU;
  }
  if (m.mask == 0) Set_DONEXT_Flag();
}

void SimInterpreter::Do_G02G03(const CommandRecord& record, bool prePass) {
  ArcMove& arc = arc_;
  if (DoNext) {
    DoNext = false;
    switch (Plane) {
      case PlaneZX: arc.first = kAxisZ; arc.second = kAxisX; break;
      case PlaneYZ: arc.first = kAxisY; arc.second = kAxisZ; break;
      default: arc.first = kAxisX; arc.second = kAxisY; break;
    }
    arc.clockwise = arcMotion(record.C) == code::G02;
    const double x0 = Pos[arc.first], y0 = Pos[arc.second];
    const double x1 = (record.MX & kAxisBits[arc.first]) ? target(arc.first, recordAxis(record, arc.first)) : x0;
    const double y1 =
        (record.MX & kAxisBits[arc.second]) ? target(arc.second, recordAxis(record, arc.second)) : y0;
    const bool fullCircle = x1 == x0 && y1 == y0;
    double i = recordOffset(record, arc.first), j = recordOffset(record, arc.second);
    bool defined = true;
    if (givenWithRadius(record.C)) {
      // A radius cannot describe a full circle: no centre is defined.
      defined = !fullCircle;
      if (defined) {
        double cx = 0, cy = 0;
        radiusCentre(x0, y0, x1, y1, record.I, arc.clockwise, cx, cy);
        i = cx - x0;
        j = cy - y0;
      }
    }
    arc.cx = x0 + i;
    arc.cy = y0 + j;
    double start = convert_angle(std::atan2(i, j) * 180 * kInvPi);
    arc.radius = std::sqrt((arc.cx - x1) * (arc.cx - x1) + (arc.cy - y1) * (arc.cy - y1));
    double end;
    if (fullCircle) {
      end = arc.clockwise ? start + 360 : start - 360;
    } else {
      end = convert_angle(std::atan2(arc.cx - x1, arc.cy - y1) * 180 * kInvPi);
      if (!arc.clockwise && end > start) start += 360;
      if (arc.clockwise && end < start) end += 360;
    }
    arc.angle = start;
    arc.endAngle = end;
    if (!defined || !std::isfinite(start) || !std::isfinite(end) || !std::isfinite(arc.radius) ||
        !std::isfinite(arc.cx) || !std::isfinite(arc.cy)) {
      // No arc can be drawn: the tool goes straight to the end point.
      Pos[arc.first] = x1;
      Pos[arc.second] = y1;
      if (prePass) {
        widenExtents(Pos.X, Pos.Y);
        DoNext = true;
      } else {
        view_.PutPixel(Pos.Y, Pos.X);
        Set_DONEXT_Flag();
      }
      return;
    }
  }
  const auto advance = [&arc, this] {
    if (arc.clockwise) {
      arc.angle = arc.angle + ArcStep > arc.endAngle ? arc.endAngle : arc.angle + ArcStep;
    } else {
      arc.angle = arc.angle - ArcStep < arc.endAngle ? arc.endAngle : arc.angle - ArcStep;
    }
  };
  const auto place = [&arc, this](double angle) {
    const double radians = angle * kPi * (1.0 / 180);
    Pos[arc.first] = arc.cx - arc.radius * std::sin(radians);
    Pos[arc.second] = arc.cy - arc.radius * std::cos(radians);
  };
  if (prePass) {
    // Within a quarter of the circle each coordinate moves one way only, so
    // only the first and the last point of each quarter can widen the
    // extents. The angle is stepped as the run steps it, and the sine and
    // cosine are taken for those points alone; the last point, where the
    // tool stays, is always among them.
    const auto quarter = [](double angle) { return std::floor(angle / 90); };
    bool firstPoint = true;
    for (;;) {
      const double from = arc.angle;
      advance();
      const bool turned = quarter(from) != quarter(arc.angle);
      if (turned && !firstPoint) {
        place(from);
        widenExtents(Pos.X, Pos.Y);
      }
      const bool more = arc.angle != arc.endAngle && ++prePassWork_ < kPrePassLimit;
      if (firstPoint || turned || !more) {
        place(arc.angle);
        widenExtents(Pos.X, Pos.Y);
      }
      firstPoint = false;
      if (!more) break;
    }
    DoNext = true;
    return;
  }
  advance();
  place(arc.angle);
  view_.PutPixel(Pos.Y, Pos.X);
  if (arc.angle == arc.endAngle) Set_DONEXT_Flag();
}

void SimInterpreter::Do_G04(const CommandRecord& record) {
  if (DoNext) {
    DoNext = false;
    dwellStart_ = clock_.tickMs();
    dwellMs_ = view_.unitSelection() == 1 ? std::trunc(record.X * 1000) : record.X;
    return;
  }
  const std::uint32_t elapsed = clock_.tickMs() - dwellStart_;
  if (!waitForDwells_ || double(elapsed) > dwellMs_) Set_DONEXT_Flag();
}

// ---- settings ----

void SimInterpreter::Do_G28(bool prePass) {
  DoNext = false;
  Pos = SetOfs = AxisValues{};
  if (prePass) {
    widenExtents(0.0, 0.0);
    DoNext = true;
  } else {
    Set_DONEXT_Flag();
  }
}

void SimInterpreter::Do_G90(bool prePass) {
  DoNext = false;
  BaseOfs = AxisValues{};
  incremental_ = false;
  finish(prePass);
}

void SimInterpreter::Do_G91(bool prePass) {
  DoNext = false;
  BaseOfs = Pos;
  incremental_ = true;
  finish(prePass);
}

void SimInterpreter::Do_G92(const CommandRecord& record, bool prePass) {
  DoNext = false;
  for (int a = 0; a < 4; ++a)
    if (record.MX & kAxisBits[a]) SetOfs[a] = recordAxis(record, a);
  finish(prePass);
}

void SimInterpreter::selectPlane(std::uint8_t planeCode, bool prePass) {
  DoNext = false;
  Plane = planeCode == code::G18 ? PlaneZX : planeCode == code::G19 ? PlaneYZ : PlaneXY;
  finish(prePass);
}

// ---- outputs, inputs, stops ----

void SimInterpreter::Do_IO(const CommandRecord& record) {
  if (record.C == code::Output) {
    const double lamp = std::trunc(record.X);
    if (lamp >= 1 && lamp <= kLampCount) view_.setLamp(static_cast<int>(lamp), record.Y == 1.0);
    Set_DONEXT_Flag();
    return;
  }
  view_.stopRunTimer();
  view_.setInputButtonVisible(true);
  waitingForInput_ = true;
}

void SimInterpreter::programStop() {
  view_.stopRunTimer();
  view_.setPauseEnabled(false);
  view_.setStartEnabled(true);
  RunState = RunPaused;
  stoppedAtM00_ = true;
}

// ---- program flow ----

// JMP, LOOP, CALL (M96, M97, M98) and the returns M02, END, M30 and M99.
void SimInterpreter::followFlow(CommandRecord& record, bool prePass) {
  const FlowStep step = flow_.step(CmdIndex, record, prePass);
  switch (step.kind) {
    case FlowStep::kEnd:
      endOfRun();
      return;
    case FlowStep::kReturn:
      // The CALL record runs next without a single-step wait; the pre-pass
      // loop steps on to it.
      CmdIndex = prePass ? step.next - 1 : step.next;
      DoNext = true;
      return;
    case FlowStep::kOn:
      // The command finishes; finishing steps on to `next`.
      CmdIndex = step.next - 1;
      finish(prePass);
      return;
  }
}

}  // namespace qxr
