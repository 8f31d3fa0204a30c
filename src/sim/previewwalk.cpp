// The preview's walk through the command table: the moves a run makes, each
// at once, in the order the program's flow takes them.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "sim/interpreter.h"
#include "sim/preview.h"
#include "sim/previewshape.h"
#include "sim/programflow.h"

namespace qxr {

using previewshape::arcAxes;
using previewshape::kTwoPi;

namespace {

constexpr std::uint8_t kAxisBits[3] = {kMaskX, kMaskY, kMaskZ};

double recordAxis(const CommandRecord& record, int axis) {
  switch (axis) {
    case 0: return record.X;
    case 1: return record.Y;
    case 2: return record.Z;
    default: return record.U;
  }
}

// I along X, J along Y, K along Z.
double recordOffset(const CommandRecord& record, int axis) {
  switch (axis) {
    case 0: return record.I;
    case 1: return record.J;
    default: return record.K;
  }
}

// The run's walk through the table, each move done at once.
class Walker {
 public:
  Walker(const CommandTable& table, const PreviewLimits& limits, PreviewPath& path, std::vector<int>* executed)
      : table_(table), limits_(limits), path_(path), executed_(executed), flow_(table) {}

  void run() {
    const int count = table_.CommandCount();
    int index = 0;
    long steps = 0;
    while (index < count) {
      if (++steps > limits_.maxSteps || path_.moves.size() >= limits_.maxMoves) {
        path_.cutOff = true;
        return;
      }
      if (executed_) executed_->push_back(index);
      const CommandRecord& record = table_[index];
      int next = index + 1;
      switch (record.C) {
        case code::G00: linear(record, MoveKind::Rapid); break;
        case code::G01: linear(record, MoveKind::Feed); break;
        case code::G02:
        case code::G03:
        case code::G02R:
        case code::G03R: arc(record); break;
        case code::G17: plane_ = ArcPlane::XY; break;
        case code::G18: plane_ = ArcPlane::ZX; break;
        case code::G19: plane_ = ArcPlane::YZ; break;
        case code::G28: home(record.N); break;
        case code::G90: incremental_ = false; break;
        case code::G91: incremental_ = true; break;
        case code::G92:
          for (int a = 0; a < 4; ++a)
            if (record.MX & (1 << a)) setOfs_[a] = recordAxis(record, a);
          break;
        default:
          if (ProgramFlow::isFlowCode(record.C)) {
            if (!prePassDone_) prePass();
            const FlowStep step = flow_.step(index, counters(index), false);
            if (step.kind == FlowStep::kEnd) return;
            next = step.next;
          }
          break;
      }
      index = next;
    }
  }

 private:
  // A START runs its pre-pass before the run, and the flow counters go into
  // the run as the pre-pass leaves them: the walk follows the flow the same
  // way first, as far as the simulator's pre-pass goes (it counts records
  // where the pre-pass also counts arc steps). Nothing before the first flow
  // word reads a counter, so a program without flow words needs none of it.
  void prePass() {
    prePassDone_ = true;
    const int count = table_.CommandCount();
    int index = 0;
    long steps = 0;
    while (index < count && steps++ < SimInterpreter::kPrePassLimit) {
      if (!ProgramFlow::isFlowCode(table_[index].C)) {
        ++index;
        continue;
      }
      index = flow_.step(index, counters(index), true).next;
    }
    flow_.clearCalls();
  }

  // The flow record's counters: a copy of the record, as a fresh start sets
  // them; the table itself is not changed.
  CommandRecord& counters(int index) {
    const auto [entry, added] = flow_records_.try_emplace(index, table_[index]);
    if (added) ProgramFlow::resetCounters(entry->second);
    return entry->second;
  }

  double target(int axis, double value) const {
    return incremental_ ? pos_[axis] + value : value - setOfs_[axis];
  }

  // A move whose numbers overflowed (values near the limits of a double)
  // cannot be drawn; it is counted and left out.
  void addMove(const PreviewMove& move) {
    bool finite = std::isfinite(move.end[0]) && std::isfinite(move.end[1]) && std::isfinite(move.end[2]);
    if (move.kind == MoveKind::Arc)
      finite = finite && std::isfinite(move.cu) && std::isfinite(move.cv) && std::isfinite(move.a0) &&
               std::isfinite(move.r0) && std::isfinite(move.sweep);
    if (!finite) {
      ++path_.leftOut;
      return;
    }
    std::vector<PreviewMove>& moves = path_.moves;
    if (moves.size() == moves.capacity()) {
      // Doubled until a quarter of the bound, then room for the whole bound
      // at once: room not yet written takes no memory, and no late copy holds
      // a long path twice. The path never takes more than the bound's worth.
      const std::size_t doubled = moves.capacity() * 2;
      moves.reserve(std::max(doubled >= limits_.maxMoves / 4 ? limits_.maxMoves : doubled, moves.size() + 1));
    }
    moves.push_back(move);
  }

  void linear(const CommandRecord& record, MoveKind kind) {
    PreviewMove move;
    move.kind = kind;
    move.line = record.N;
    bool moved = false;
    for (int a = 0; a < 4; ++a) {
      if (!(record.MX & (1 << a))) continue;
      const double to = target(a, recordAxis(record, a));
      if (a < 3 && to != pos_[a]) moved = true;
      pos_[a] = to;
    }
    if (!moved) return;
    for (int a = 0; a < 3; ++a) move.end[a] = pos_[a];
    addMove(move);
  }

  void home(int line) {
    const bool moved = pos_[0] != 0 || pos_[1] != 0 || pos_[2] != 0;
    for (double& v : pos_) v = 0;
    for (double& v : setOfs_) v = 0;
    if (!moved) return;
    PreviewMove move;
    move.kind = MoveKind::Rapid;
    move.line = line;
    addMove(move);
  }

  void arc(const CommandRecord& record) {
    int first = 0, second = 1;
    arcAxes(plane_, first, second);
    const bool clockwise = arcMotion(record.C) == code::G02;
    const double x0 = pos_[first], y0 = pos_[second];
    const double x1 = (record.MX & kAxisBits[first]) ? target(first, recordAxis(record, first)) : x0;
    const double y1 = (record.MX & kAxisBits[second]) ? target(second, recordAxis(record, second)) : y0;
    const bool fullCircle = x1 == x0 && y1 == y0;
    double cx = x0 + recordOffset(record, first), cy = y0 + recordOffset(record, second);
    bool defined = true;
    if (givenWithRadius(record.C)) {
      defined = !fullCircle;  // a radius cannot describe a full circle
      if (defined) radiusCentre(x0, y0, x1, y1, record.I, clockwise, cx, cy);
    }
    PreviewMove move;
    move.line = record.N;
    pos_[first] = x1;
    pos_[second] = y1;
    for (int a = 0; a < 3; ++a) move.end[a] = pos_[a];
    if (!defined || !std::isfinite(cx) || !std::isfinite(cy)) {
      // No arc can be drawn: the tool goes straight to the end point.
      if (fullCircle) return;
      move.kind = MoveKind::Feed;
      addMove(move);
      return;
    }
    double sweep;
    const double a0 = std::atan2(y0 - cy, x0 - cx);
    if (fullCircle) {
      sweep = clockwise ? -kTwoPi : kTwoPi;
    } else {
      const double a1 = std::atan2(y1 - cy, x1 - cx);
      double turn = std::fmod(clockwise ? a0 - a1 : a1 - a0, kTwoPi);
      if (turn < 0) turn += kTwoPi;
      sweep = clockwise ? -turn : turn;
    }
    move.kind = MoveKind::Arc;
    move.plane = plane_;
    move.cu = cx;
    move.cv = cy;
    move.sweep = sweep;
    move.a0 = a0;
    move.r0 = std::sqrt((x0 - cx) * (x0 - cx) + (y0 - cy) * (y0 - cy));
    if (!sawArc_) {
      sawArc_ = true;
      path_.suggestedPlane = plane_ == ArcPlane::ZX ? ViewPlane::XZ
                             : plane_ == ArcPlane::YZ ? ViewPlane::YZ
                                                      : ViewPlane::XY;
    }
    addMove(move);
  }

  const CommandTable& table_;
  const PreviewLimits& limits_;
  PreviewPath& path_;
  std::vector<int>* executed_;
  ProgramFlow flow_;
  std::unordered_map<int, CommandRecord> flow_records_;
  bool prePassDone_ = false;
  double pos_[4] = {0, 0, 0, 0};
  double setOfs_[4] = {0, 0, 0, 0};
  bool incremental_ = false;
  bool sawArc_ = false;
  ArcPlane plane_ = ArcPlane::XY;
};

}  // namespace

PreviewPath buildPreviewPath(const CommandTable& table, const PreviewLimits& limits, std::vector<int>* executed) {
  PreviewPath path;
  path.moves.reserve(std::min(static_cast<std::size_t>(table.CommandCount()), limits.maxMoves));
  Walker(table, limits, path, executed).run();
  path.bounds = previewshape::pathBounds(path);
  return path;
}

}  // namespace qxr
