#include "sim/preview.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "sim/interpreter.h"
#include "sim/numtext.h"

namespace qxr {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int kCallDepthLimit = SimInterpreter::kCallStackSize;
constexpr double kFlowRepeatLimit = SimInterpreter::kMaxFlowRepeats;
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

// First and second axis of an arc plane.
void arcAxes(ArcPlane plane, int& first, int& second) {
  switch (plane) {
    case ArcPlane::ZX: first = 2; second = 0; break;
    case ArcPlane::YZ: first = 1; second = 2; break;
    default: first = 0; second = 1; break;
  }
}

// The run's walk through the table, each move done at once.
class Walker {
 public:
  Walker(const CommandTable& table, const PreviewLimits& limits, PreviewPath& path)
      : table_(table), limits_(limits), path_(path) {}

  void run() {
    const int count = table_.CommandCount();
    int index = 0;
    long steps = 0;
    while (index >= 0 && index < count) {
      if (++steps > limits_.maxSteps || path_.moves.size() >= limits_.maxMoves) {
        path_.cutOff = true;
        return;
      }
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
        case code::Jump: next = jump(index, record); break;
        case code::Loop: next = loop(index, record); break;
        case code::Call: next = call(index, record); break;
        case code::M02:
        case code::M30:
        case code::M99:
          if (depth_ == 0) return;
          next = stack_[--depth_];  // the CALL runs again: once more, or on after itself
          break;
        default: break;
      }
      index = next;
    }
  }

 private:
  struct Counters {
    double a = 0, b = 0;
  };

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
    path_.moves.push_back(move);
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
    const bool clockwise = (record.C & 0x7F) == code::G02;
    const double x0 = pos_[first], y0 = pos_[second];
    const double x1 = (record.MX & kAxisBits[first]) ? target(first, recordAxis(record, first)) : x0;
    const double y1 = (record.MX & kAxisBits[second]) ? target(second, recordAxis(record, second)) : y0;
    const bool fullCircle = x1 == x0 && y1 == y0;
    double cx = x0 + recordOffset(record, first), cy = y0 + recordOffset(record, second);
    bool defined = true;
    if (record.C & 0x80) {
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

  // The first record of the program line `lineIndex`; records come in line order.
  int findTarget(double lineIndex) const {
    const auto& records = table_.records();
    const auto found = std::lower_bound(records.begin(), records.end(), lineIndex,
                                        [](const CommandRecord& r, double line) { return r.N < line; });
    if (found == records.end() || found->N != lineIndex) return -1;
    return static_cast<int>(found - records.begin());
  }

  // Execution goes on at the record before the target's first record.
  static int landing(int target) { return std::max(target - 1, 0); }

  Counters& counters(int index, double a, double b) {
    return flow_.try_emplace(index, Counters{a, b}).first->second;
  }

  int jump(int index, const CommandRecord& record) {
    const int r = findTarget(record.X);
    if (r < 0) return index + 1;
    Counters& c = counters(index, 0, 0);
    c.a += 1;
    if (c.a >= kFlowRepeatLimit) {
      c.a = 0;
      return index + 1;
    }
    return landing(r);
  }

  int loop(int index, const CommandRecord& record) {
    Counters& c = counters(index, record.Y, 0);  // remaining runs of the body
    if (c.a > 1) {
      const int r = findTarget(record.X);
      if (r < 0) return index + 1;
      c.a -= 1;
      return landing(r);
    }
    c.a = record.Y;
    return index + 1;
  }

  int call(int index, const CommandRecord& record) {
    Counters& c = counters(index, record.Z, record.U);  // remaining calls, jumps made
    if (c.a <= 0) {
      c.a = record.Y;
      return index + 1;
    }
    const int r = findTarget(record.X);
    if (r < 0) return index + 1;
    if (depth_ + 1 >= kCallDepthLimit) return -1;  // the run ends here
    stack_[depth_++] = index;
    c.a -= 1;
    c.b += 1;
    if (c.b >= kFlowRepeatLimit) {
      c.b = 0;
      return index + 1;
    }
    return landing(r);
  }

  const CommandTable& table_;
  const PreviewLimits& limits_;
  PreviewPath& path_;
  double pos_[4] = {0, 0, 0, 0};
  double setOfs_[4] = {0, 0, 0, 0};
  bool incremental_ = false;
  bool sawArc_ = false;
  ArcPlane plane_ = ArcPlane::XY;
  int stack_[kCallDepthLimit] = {};
  int depth_ = 0;
  std::unordered_map<int, Counters> flow_;
};

// An arc's start angle and its radii at the start and at the end.
struct ArcShape {
  int first = 0, second = 1, third = 2;
  double a0 = 0, r0 = 0, r1 = 0;
};

ArcShape arcShape(const PreviewPath& path, std::size_t index) {
  const PreviewMove& m = path.moves[index];
  ArcShape s;
  arcAxes(m.plane, s.first, s.second);
  s.third = 3 - s.first - s.second;
  s.a0 = m.a0;
  s.r0 = m.r0;
  const double u1 = m.end[s.first] - m.cu, v1 = m.end[s.second] - m.cv;
  s.r1 = std::sqrt(u1 * u1 + v1 * v1);
  return s;
}

// The point of an arc at t in [0, 1]: angle and radius move evenly.
void arcPoint(const PreviewPath& path, std::size_t index, const ArcShape& s, double t, double out[3]) {
  const PreviewMove& m = path.moves[index];
  const double a = s.a0 + m.sweep * t;
  const double r = s.r0 + (s.r1 - s.r0) * t;
  out[s.first] = m.cu + r * std::cos(a);
  out[s.second] = m.cv + r * std::sin(a);
  const double z0 = path.startPoint(index, s.third);
  out[s.third] = z0 + (m.end[s.third] - z0) * t;
}

// The inner chord points of an arc cut into n pieces, in order, with one
// sine and cosine for the whole arc (none for two pieces): the direction from
// the centre is turned step by step.
class ArcWalk {
 public:
  ArcWalk(const PreviewPath& path, std::size_t index, const ArcShape& s, long n)
      : m_(path.moves[index]), s_(s), n_(double(n)) {
    z0_ = path.startPoint(index, s.third);
    const double su = path.startPoint(index, s.first) - m_.cu, sv = path.startPoint(index, s.second) - m_.cv;
    if (s.r0 > 0) {
      ux_ = su / s.r0;
      uy_ = sv / s.r0;
    } else {
      ux_ = std::cos(s.a0);
      uy_ = std::sin(s.a0);
    }
    if (n == 2) {
      // The middle of the arc: halfway between the directions of its ends.
      const double eu = m_.end[s.first] - m_.cu, ev = m_.end[s.second] - m_.cv;
      double mx = ux_, my = uy_;
      if (s.r1 > 0) {
        mx += eu / s.r1;
        my += ev / s.r1;
      }
      const double length = std::sqrt(mx * mx + my * my);
      if (length > 1e-6 && std::fabs(m_.sweep) < kTwoPi / 2 - 1e-6) {
        mx /= length;
        my /= length;
      } else if (length > 1e-6 && std::fabs(m_.sweep) > kTwoPi / 2 + 1e-6) {
        mx /= -length;
        my /= -length;
      } else {
        const double a = s.a0 + m_.sweep / 2;
        mx = std::cos(a);
        my = std::sin(a);
      }
      cs_ = mx * ux_ + my * uy_;  // the turn from the start to the middle
      sn_ = ux_ * my - uy_ * mx;
    } else {
      cs_ = std::cos(m_.sweep / n_);
      sn_ = std::sin(m_.sweep / n_);
    }
  }

  // Point k of 1 .. n - 1.
  void point(long k, double out[3]) {
    const double x = ux_ * cs_ - uy_ * sn_, y = ux_ * sn_ + uy_ * cs_;
    ux_ = x;
    uy_ = y;
    const double t = double(k) / n_;
    const double r = s_.r0 + (s_.r1 - s_.r0) * t;
    out[s_.first] = m_.cu + r * ux_;
    out[s_.second] = m_.cv + r * uy_;
    out[s_.third] = z0_ + (m_.end[s_.third] - z0_) * t;
  }

 private:
  const PreviewMove& m_;
  const ArcShape& s_;
  double n_;
  double z0_ = 0, ux_ = 1, uy_ = 0, cs_ = 1, sn_ = 0;
};

// Box of one move in program units.
void moveBox(const PreviewPath& path, std::size_t index, double lo[3], double hi[3]) {
  const PreviewMove& m = path.moves[index];
  for (int a = 0; a < 3; ++a) {
    const double s = path.startPoint(index, a);
    lo[a] = std::min(s, m.end[a]);
    hi[a] = std::max(s, m.end[a]);
  }
  if (m.kind != MoveKind::Arc) return;
  const ArcShape s = arcShape(path, index);
  const double r = std::max(s.r0, s.r1);
  // The arc reaches out to the full radius at every quarter it passes.
  const double from = std::min(s.a0, s.a0 + m.sweep), to = std::max(s.a0, s.a0 + m.sweep);
  for (double k = std::ceil(from / (kTwoPi / 4)); k * (kTwoPi / 4) <= to; k += 1) {
    const int quarter = static_cast<int>(std::fmod(std::fmod(k, 4) + 4, 4));
    const double u = quarter == 0 ? m.cu + r : quarter == 2 ? m.cu - r : m.cu;
    const double v = quarter == 1 ? m.cv + r : quarter == 3 ? m.cv - r : m.cv;
    lo[s.first] = std::min(lo[s.first], u);
    hi[s.first] = std::max(hi[s.first], u);
    lo[s.second] = std::min(lo[s.second], v);
    hi[s.second] = std::max(hi[s.second], v);
  }
}

// Chords for an arc of `radiusPixels` so that none strays farther than `tolerance`.
long chordCount(double sweep, double radiusPixels, double tolerance) {
  if (!(radiusPixels > tolerance)) return 1;
  // 2 acos(1 - e) for e = tolerance / radius, from below: sqrt(2e) <= acos(1 - e).
  const double step = 2 * std::sqrt(2 * tolerance / radiusPixels);
  const double n = std::ceil(std::fabs(sweep) / step);
  return static_cast<long>(std::clamp(n, 1.0, 65536.0));
}

// Pixel box of a move; false when the move lies outside `view` grown by
// `grow`. An arc counts with its whole circle: quick, and never too small.
bool moveInView(const PreviewPath& path, std::size_t index, const PreviewView& view, double grow) {
  double lo[3], hi[3];
  const PreviewMove& m = path.moves[index];
  for (int a = 0; a < 3; ++a) {
    const double s = path.startPoint(index, a);
    lo[a] = std::min(s, m.end[a]);
    hi[a] = std::max(s, m.end[a]);
  }
  if (m.kind == MoveKind::Arc) {
    int first = 0, second = 1;
    arcAxes(m.plane, first, second);
    const double u1 = m.end[first] - m.cu, v1 = m.end[second] - m.cv;
    const double r = std::max(m.r0, std::sqrt(u1 * u1 + v1 * v1));
    lo[first] = m.cu - r;
    hi[first] = m.cu + r;
    lo[second] = m.cv - r;
    hi[second] = m.cv + r;
  }
  const int h = horizontalAxis(view.plane), v = verticalAxis(view.plane);
  const double x0 = view.toPixelX(lo[h]), x1 = view.toPixelX(hi[h]);
  const double y0 = view.toPixelY(hi[v]), y1 = view.toPixelY(lo[v]);
  return x1 >= -grow && x0 <= view.width + grow && y1 >= -grow && y0 <= view.height + grow;
}

// Liang-Barsky: the part of a segment inside the rectangle; false when none.
bool clipSegment(double& x0, double& y0, double& x1, double& y1, double loX, double loY, double hiX, double hiY) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - loX, hiX - x0, y0 - loY, hiY - y0};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const double sx = x0, sy = y0;
  x0 = sx + t0 * dx;
  y0 = sy + t0 * dy;
  x1 = sx + t1 * dx;
  y1 = sy + t1 * dy;
  return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1);
}

// Builds the runs of a scene with the merging of near points and the
// clipping of segments that reach far outside the view.
class SceneBuilder {
 public:
  SceneBuilder(PreviewScene& scene, const PreviewView& view) : scene_(scene), view_(view) {
    lo_x_ = -kClipMargin;
    lo_y_ = -kClipMargin;
    hi_x_ = view.width + kClipMargin;
    hi_y_ = view.height + kClipMargin;
  }

  // A segment of the current move; `stroke` continues the run when it joins.
  void segment(double x0, double y0, double x1, double y1, Stroke stroke) {
    if (!safe(x0, y0) || !safe(x1, y1)) {
      if (!clip(x0, y0, x1, y1)) {
        close();
        return;
      }
    }
    if (!open_ || stroke != stroke_ || !near(x0, y0, lastX_, lastY_, 1e-3)) {
      close();
      open_ = true;
      stroke_ = stroke;
      scene_.runs.push_back({static_cast<std::uint32_t>(scene_.points.size()), 0, stroke});
      push(x0, y0);
    }
    lastX_ = x1;
    lastY_ = y1;
    if (near(x1, y1, keptX_, keptY_, kMergeDistance)) {
      pending_ = true;
      return;
    }
    push(x1, y1);
  }

  // Ends the run: its last point is always drawn, and a run of one point is a dot.
  void close() {
    if (!open_) return;
    PreviewScene::Run& run = scene_.runs.back();
    if (pending_ || run.count < 2) push(lastX_, lastY_);
    open_ = false;
  }

 private:
  static constexpr double kClipMargin = 16.0;
  static constexpr double kSafe = 1e5;

  static bool near(double ax, double ay, double bx, double by, double d) {
    return std::fabs(ax - bx) <= d && std::fabs(ay - by) <= d && (ax - bx) * (ax - bx) + (ay - by) * (ay - by) <= d * d;
  }
  bool safe(double x, double y) const {
    return x > -kSafe && y > -kSafe && x < view_.width + kSafe && y < view_.height + kSafe;
  }

  void push(double x, double y) {
    scene_.points.push_back({static_cast<float>(x), static_cast<float>(y)});
    scene_.runs.back().count += 1;
    keptX_ = x;
    keptY_ = y;
    pending_ = false;
  }

  bool clip(double& x0, double& y0, double& x1, double& y1) const {
    return clipSegment(x0, y0, x1, y1, lo_x_, lo_y_, hi_x_, hi_y_);
  }

  PreviewScene& scene_;
  const PreviewView& view_;
  double lo_x_, lo_y_, hi_x_, hi_y_;
  bool open_ = false;
  bool pending_ = false;
  Stroke stroke_ = Stroke::Feed;
  double lastX_ = 0, lastY_ = 0;  // end of the last segment
  double keptX_ = 0, keptY_ = 0;  // last point stored
};

Stroke strokeOf(const PreviewMove& move, bool selected) {
  const bool rapid = move.kind == MoveKind::Rapid;
  if (selected) return rapid ? Stroke::SelectedRapid : Stroke::SelectedFeed;
  return rapid ? Stroke::Rapid : Stroke::Feed;
}

}  // namespace

PreviewPath buildPreviewPath(const CommandTable& table, const PreviewLimits& limits) {
  PreviewPath path;
  path.moves.reserve(static_cast<std::size_t>(table.CommandCount()));
  Walker(table, limits, path).run();
  PreviewBounds& b = path.bounds;  // the origin, where the path starts, is inside
  double lo[3], hi[3];
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    moveBox(path, i, lo, hi);
    for (int a = 0; a < 3; ++a) {
      b.min[a] = std::min(b.min[a], lo[a]);
      b.max[a] = std::max(b.max[a], hi[a]);
    }
  }
  return path;
}

int horizontalAxis(ViewPlane plane) { return plane == ViewPlane::YZ ? 1 : 0; }
int verticalAxis(ViewPlane plane) { return plane == ViewPlane::XY ? 1 : 2; }

const char* planeName(ViewPlane plane) {
  switch (plane) {
    case ViewPlane::XZ: return "XZ";
    case ViewPlane::YZ: return "YZ";
    default: return "XY";
  }
}

PreviewView fitView(const PreviewBounds& bounds, ViewPlane plane, int width, int height, double margin) {
  PreviewView view;
  view.plane = plane;
  view.width = std::max(width, 1);
  view.height = std::max(height, 1);
  const int h = horizontalAxis(plane), v = verticalAxis(plane);
  const double spanH = bounds.max[h] - bounds.min[h], spanV = bounds.max[v] - bounds.min[v];
  if (2 * margin >= std::min(view.width, view.height)) margin = 0;
  const double roomH = view.width - 2 * margin, roomV = view.height - 2 * margin;
  double scale = 0;
  if (spanH > 0 && spanV > 0) {
    scale = std::min(roomH / spanH, roomV / spanV);
  } else if (spanH > 0) {
    scale = roomH / spanH;
  } else if (spanV > 0) {
    scale = roomV / spanV;
  }
  view.scale = (std::isfinite(scale) && scale > 0) ? scale : 10.0;  // a path on one point
  view.centreH = (bounds.min[h] + bounds.max[h]) * 0.5;
  view.centreV = (bounds.min[v] + bounds.max[v]) * 0.5;
  return view;
}

void zoomAt(PreviewView& view, double px, double py, double factor) {
  const double h = view.toWorldH(px), v = view.toWorldV(py);
  view.scale = std::clamp(view.scale * factor, 1e-300, 1e12);
  view.centreH = h - (px - view.width * 0.5) / view.scale;
  view.centreV = v + (py - view.height * 0.5) / view.scale;
}

void panBy(PreviewView& view, double dx, double dy) {
  view.centreH -= dx / view.scale;
  view.centreV += dy / view.scale;
}

void movePixels(const PreviewPath& path, std::size_t index, const PreviewView& view, double tolerance,
                std::vector<PixelPoint>& out) {
  const int h = horizontalAxis(view.plane), v = verticalAxis(view.plane);
  const PreviewMove& m = path.moves[index];
  out.clear();
  out.push_back({static_cast<float>(view.toPixelX(path.startPoint(index, h))),
                 static_cast<float>(view.toPixelY(path.startPoint(index, v)))});
  if (m.kind == MoveKind::Arc) {
    const ArcShape s = arcShape(path, index);
    const long n = chordCount(m.sweep, std::max(s.r0, s.r1) * view.scale, tolerance);
    double p[3];
    for (long k = 1; k < n; ++k) {
      arcPoint(path, index, s, double(k) / double(n), p);
      out.push_back({static_cast<float>(view.toPixelX(p[h])), static_cast<float>(view.toPixelY(p[v]))});
    }
  }
  out.push_back({static_cast<float>(view.toPixelX(m.end[h])), static_cast<float>(view.toPixelY(m.end[v]))});
}

namespace {

// Walks the moves of a view as pixel segments: arcs in chords, moves outside
// the view left out (the sink's run is closed there).
template <class Sink>
void walkSegments(const PreviewPath& path, const PreviewView& view, int selectedLine, PathPart part, Sink& sink) {
  const int h = horizontalAxis(view.plane), v = verticalAxis(view.plane);
  // A fitted path lies in the view as a whole: no move needs its own test.
  const PreviewBounds& b = path.bounds;
  const bool allInView = view.toPixelX(b.min[h]) >= 0 && view.toPixelX(b.max[h]) <= view.width &&
                         view.toPixelY(b.max[v]) >= 0 && view.toPixelY(b.min[v]) <= view.height;
  double p[3];
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    const PreviewMove& m = path.moves[i];
    const bool selected = m.line == selectedLine;
    if ((part == PathPart::Selected && !selected) || (part == PathPart::Unselected && selected) ||
        (!allInView && !moveInView(path, i, view, 2.0))) {
      sink.close();
      continue;
    }
    const Stroke stroke = strokeOf(m, selected);
    double x0 = view.toPixelX(path.startPoint(i, h)), y0 = view.toPixelY(path.startPoint(i, v));
    if (m.kind == MoveKind::Arc) {
      const ArcShape s = arcShape(path, i);
      const long n = chordCount(m.sweep, std::max(s.r0, s.r1) * view.scale, kArcTolerance);
      ArcWalk walk(path, i, s, n);
      for (long k = 1; k < n; ++k) {
        walk.point(k, p);
        const double x1 = view.toPixelX(p[h]), y1 = view.toPixelY(p[v]);
        sink.segment(x0, y0, x1, y1, stroke);
        x0 = x1;
        y0 = y1;
      }
    }
    sink.segment(x0, y0, view.toPixelX(m.end[h]), view.toPixelY(m.end[v]), stroke);
  }
  sink.close();
}

// Draws segments one pixel wide straight into a 32-bit image; rapids dashed
// five pixels on, four off along their runs.
class RasterSink {
 public:
  explicit RasterSink(const RasterTarget& target) : t_(target) {}

  void segment(double x0, double y0, double x1, double y1, Stroke stroke) {
    const bool inside = x0 >= 0 && y0 >= 0 && x1 >= 0 && y1 >= 0 && x0 < t_.width && x1 < t_.width &&
                        y0 < t_.height && y1 < t_.height;
    if (!inside && !clipSegment(x0, y0, x1, y1, -1.0, -1.0, t_.width, t_.height)) {
      close();
      return;
    }
    if (stroke != stroke_) dash_ = 0;
    stroke_ = stroke;
    const std::uint32_t colour = t_.colours[static_cast<int>(stroke)];
    const bool dashed = stroke == Stroke::Rapid || stroke == Stroke::SelectedRapid;
    // Within the view grown by a pixel: rounding is adding a half and cutting.
    int ax = static_cast<int>(x0 + 0.5), ay = static_cast<int>(y0 + 0.5);
    const int bx = static_cast<int>(x1 + 0.5), by = static_cast<int>(y1 + 0.5);
    const int dx = std::abs(bx - ax), dy = -std::abs(by - ay);
    const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    int error = dx + dy;
    for (;;) {
      if (!dashed || dash_ % 9 < 5) plot(ax, ay, colour);
      if (ax == bx && ay == by) break;
      ++dash_;
      const int e2 = 2 * error;
      if (e2 >= dy) {
        error += dy;
        ax += sx;
      }
      if (e2 <= dx) {
        error += dx;
        ay += sy;
      }
    }
  }
  void close() { dash_ = 0; }

 private:
  void plot(int x, int y, std::uint32_t colour) {
    if (x < 0 || y < 0 || x >= t_.width || y >= t_.height) return;
    t_.pixels[static_cast<std::ptrdiff_t>(y) * t_.stride + x] = colour;
  }

  const RasterTarget& t_;
  Stroke stroke_ = Stroke::Feed;
  long dash_ = 0;
};

}  // namespace

void flattenPath(const PreviewPath& path, const PreviewView& view, int selectedLine, PreviewScene& scene,
                 PathPart part) {
  scene.points.clear();
  scene.runs.clear();
  scene.hasStart = scene.hasEnd = false;
  SceneBuilder builder(scene, view);
  walkSegments(path, view, selectedLine, part, builder);
  if (!path.moves.empty()) {
    const int h = horizontalAxis(view.plane), v = verticalAxis(view.plane);
    scene.hasStart = scene.hasEnd = true;
    scene.start = {static_cast<float>(view.toPixelX(0)), static_cast<float>(view.toPixelY(0))};
    const PreviewMove& last = path.moves.back();
    scene.end = {static_cast<float>(view.toPixelX(last.end[h])), static_cast<float>(view.toPixelY(last.end[v]))};
  }
}

void rasterizePath(const PreviewPath& path, const PreviewView& view, int selectedLine, PathPart part,
                   const RasterTarget& target) {
  RasterSink sink(target);
  walkSegments(path, view, selectedLine, part, sink);
}

long hitTest(const PreviewPath& path, const PreviewView& view, double px, double py, double reach) {
  long best = -1;
  double bestDistance = reach * reach;
  std::vector<PixelPoint> points;
  PreviewView probe = view;  // a view of the reach around the pixel
  probe.width = probe.height = static_cast<int>(std::ceil(2 * reach)) + 1;
  probe.centreH = view.toWorldH(px);
  probe.centreV = view.toWorldV(py);
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    if (!moveInView(path, i, probe, 1.0)) continue;
    movePixels(path, i, view, kArcTolerance, points);
    for (std::size_t k = 1; k < points.size(); ++k) {
      const double ax = points[k - 1].x, ay = points[k - 1].y;
      const double dx = points[k].x - ax, dy = points[k].y - ay;
      const double length = dx * dx + dy * dy;
      double t = length > 0 ? ((px - ax) * dx + (py - ay) * dy) / length : 0;
      t = std::clamp(t, 0.0, 1.0);
      const double ex = ax + t * dx - px, ey = ay + t * dy - py;
      const double d = ex * ex + ey * ey;
      if (d <= bestDistance) {  // later moves are drawn over earlier ones
        bestDistance = d;
        best = static_cast<long>(i);
      }
    }
  }
  return best;
}

double gridSpacing(double scale, double minPixels) {
  if (!(scale > 0) || !std::isfinite(scale)) return 1.0;
  const double raw = minPixels / scale;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= raw * (1 - 1e-12)) return m * power;
  return 10 * power;
}

std::string spacingText(double spacing) {
  std::string text = formatFixed(spacing, 0, spacing >= 1 ? 0 : 9);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

PreviewGrid previewGrid(const PreviewView& view, double minPixels) {
  PreviewGrid grid;
  grid.spacing = gridSpacing(view.scale, minPixels);
  const double s = grid.spacing;
  const double h0 = std::ceil(view.toWorldH(0) / s), h1 = std::floor(view.toWorldH(view.width) / s);
  const double v0 = std::ceil(view.toWorldV(view.height) / s), v1 = std::floor(view.toWorldV(0) / s);
  if (!(h1 - h0 < 10000 && v1 - v0 < 10000)) return grid;  // never more lines than pixels
  for (double k = h0; k <= h1; k += 1) {
    grid.columns.push_back(view.toPixelX(k * s));
    if (k == 0) grid.originColumn = grid.columns.back();
  }
  for (double k = v0; k <= v1; k += 1) {
    grid.rows.push_back(view.toPixelY(k * s));
    if (k == 0) grid.originRow = grid.rows.back();
  }
  return grid;
}

namespace {

std::string number(double value) { return formatFixed(value, 0, 2); }

// Appends the parts in order.
void put(std::string& out, std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) out += part;
}

// Path data of one kind of move: moves that join go on without a new "M".
class SvgPathData {
 public:
  void moveTo(double x, double y) {
    if (open_ && std::fabs(x - x_) < 1e-6 && std::fabs(y - y_) < 1e-6) return;
    put(data_, {"M", number(x), " ", number(y)});
    open_ = true;
    set(x, y);
  }
  void lineTo(double x, double y) {
    put(data_, {"L", number(x), " ", number(y)});
    set(x, y);
  }
  void arcTo(double r, bool sweepFlag, double x, double y) {
    put(data_, {"A", number(r), " ", number(r), " 0 0 ", sweepFlag ? "1 " : "0 ", number(x), " ", number(y)});
    set(x, y);
  }
  void breakOff() { open_ = false; }
  const std::string& data() const { return data_; }

 private:
  void set(double x, double y) {
    x_ = x;
    y_ = y;
  }
  std::string data_;
  bool open_ = false;
  double x_ = 0, y_ = 0;
};

}  // namespace

std::string previewSvg(const PreviewPath& path, const PreviewView& view) {
  const int h = horizontalAxis(view.plane), v = verticalAxis(view.plane);
  SvgPathData feed, rapid;
  std::vector<PixelPoint> points;
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    const PreviewMove& m = path.moves[i];
    SvgPathData& out = m.kind == MoveKind::Rapid ? rapid : feed;
    SvgPathData& other = m.kind == MoveKind::Rapid ? feed : rapid;
    other.breakOff();
    if (!moveInView(path, i, view, 2.0)) {
      out.breakOff();
      continue;
    }
    const double sx = view.toPixelX(path.startPoint(i, h)), sy = view.toPixelY(path.startPoint(i, v));
    out.moveTo(sx, sy);
    if (m.kind != MoveKind::Arc) {
      out.lineTo(view.toPixelX(m.end[h]), view.toPixelY(m.end[v]));
      continue;
    }
    const ArcShape s = arcShape(path, i);
    const bool facing = (s.first == h && s.second == v) || (s.first == v && s.second == h);
    const bool circular = std::fabs(s.r0 - s.r1) <= 1e-9 * std::max(1.0, s.r1);
    if (facing && circular && s.r1 * view.scale < 1e7) {
      // Seen in its own plane an arc stays an arc: pieces of at most a third
      // of a circle, so the flags need no large-arc choice.
      const bool mirrored = s.first == v;
      const bool counterClockwise = (m.sweep > 0) != mirrored;  // as seen, Y up
      const long pieces = std::max(1L, static_cast<long>(std::ceil(std::fabs(m.sweep) / (kTwoPi / 3))));
      double p[3];
      for (long k = 1; k <= pieces; ++k) {
        if (k == pieces) {
          for (int a = 0; a < 3; ++a) p[a] = m.end[a];
        } else {
          arcPoint(path, i, s, double(k) / double(pieces), p);
        }
        out.arcTo(s.r1 * view.scale, !counterClockwise, view.toPixelX(p[h]), view.toPixelY(p[v]));
      }
      continue;
    }
    movePixels(path, i, view, 0.1, points);
    for (std::size_t k = 1; k < points.size(); ++k) out.lineTo(points[k].x, points[k].y);
  }

  const std::string w = std::to_string(view.width), ht = std::to_string(view.height);
  std::string svg;
  put(svg, {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"});
  put(svg, {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", w, "\" height=\"", ht, "\" viewBox=\"0 0 ", w, " ",
            ht, "\">\n"});
  put(svg, {"<rect width=\"", w, "\" height=\"", ht, "\" fill=\"#ffffff\"/>\n"});
  const PreviewGrid grid = previewGrid(view);
  put(svg, {"<g class=\"grid\" stroke=\"#e6e6e6\" stroke-width=\"1\">\n"});
  for (double x : grid.columns)
    put(svg, {"<line x1=\"", number(x), "\" y1=\"0\" x2=\"", number(x), "\" y2=\"", ht, "\"/>\n"});
  for (double y : grid.rows)
    put(svg, {"<line x1=\"0\" y1=\"", number(y), "\" x2=\"", w, "\" y2=\"", number(y), "\"/>\n"});
  put(svg, {"</g>\n"});
  if (grid.originColumn >= 0 || grid.originRow >= 0) {
    put(svg, {"<g class=\"axes\" stroke=\"#b8b8b8\" stroke-width=\"1\">\n"});
    if (grid.originColumn >= 0)
      put(svg, {"<line x1=\"", number(grid.originColumn), "\" y1=\"0\" x2=\"", number(grid.originColumn),
                "\" y2=\"", ht, "\"/>\n"});
    if (grid.originRow >= 0)
      put(svg, {"<line x1=\"0\" y1=\"", number(grid.originRow), "\" x2=\"", w, "\" y2=\"", number(grid.originRow),
                "\"/>\n"});
    put(svg, {"</g>\n"});
  }
  if (!rapid.data().empty())
    put(svg, {"<path class=\"rapid\" fill=\"none\" stroke=\"#e07000\" stroke-width=\"1.2\" stroke-dasharray=\"5 4\" d=\"",
              rapid.data(), "\"/>\n"});
  if (!feed.data().empty())
    put(svg, {"<path class=\"feed\" fill=\"none\" stroke=\"#0048c0\" stroke-width=\"1.5\" stroke-linejoin=\"round\" d=\"",
              feed.data(), "\"/>\n"});
  if (!path.moves.empty()) {
    const PreviewMove& last = path.moves.back();
    put(svg, {"<circle class=\"start\" cx=\"", number(view.toPixelX(0)), "\" cy=\"", number(view.toPixelY(0)),
              "\" r=\"7\" fill=\"none\" stroke=\"#00a000\" stroke-width=\"2\"/>\n"});
    const double ex = view.toPixelX(last.end[h]), ey = view.toPixelY(last.end[v]);
    put(svg, {"<rect class=\"end\" x=\"", number(ex - 4), "\" y=\"", number(ey - 4),
              "\" width=\"8\" height=\"8\" fill=\"none\" stroke=\"#d00000\" stroke-width=\"2\"/>\n"});
  }
  put(svg, {"<text class=\"grid-spacing\" x=\"8\" y=\"", std::to_string(view.height - 8),
            "\" font-family=\"sans-serif\" font-size=\"12\" fill=\"#505050\">", planeName(view.plane), "  grid ",
            spacingText(grid.spacing), "</text>\n"});
  put(svg, {"</svg>\n"});
  return svg;
}

}  // namespace qxr
