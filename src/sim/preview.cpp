#include "sim/preview.h"

#include <algorithm>
#include <cmath>

#include "sim/numtext.h"
#include "sim/previewshape.h"

namespace qxr {

namespace previewshape {

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

void arcPoint(const PreviewPath& path, std::size_t index, const ArcShape& s, double t, double out[3]) {
  const PreviewMove& m = path.moves[index];
  const double a = s.a0 + m.sweep * t;
  const double r = s.r0 + (s.r1 - s.r0) * t;
  out[s.first] = m.cu + r * std::cos(a);
  out[s.second] = m.cv + r * std::sin(a);
  const double z0 = path.startPoint(index, s.third);
  out[s.third] = z0 + (m.end[s.third] - z0) * t;
}

namespace {

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

}  // namespace

PreviewBounds pathBounds(const PreviewPath& path) {
  PreviewBounds b;  // the origin, where the path starts, is inside
  double lo[3], hi[3];
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    moveBox(path, i, lo, hi);
    for (int a = 0; a < 3; ++a) {
      b.min[a] = std::min(b.min[a], lo[a]);
      b.max[a] = std::max(b.max[a], hi[a]);
    }
  }
  return b;
}

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

}  // namespace previewshape

using namespace previewshape;

namespace {

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

// Chords for an arc of `radiusPixels` so that none strays farther than `tolerance`.
long chordCount(double sweep, double radiusPixels, double tolerance) {
  if (!(radiusPixels > tolerance)) return 1;
  // 2 acos(1 - e) for e = tolerance / radius, from below: sqrt(2e) <= acos(1 - e).
  const double step = 2 * std::sqrt(2 * tolerance / radiusPixels);
  const double n = std::ceil(std::fabs(sweep) / step);
  return static_cast<long>(std::clamp(n, 1.0, 65536.0));
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

}  // namespace qxr
