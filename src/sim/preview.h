#pragma once
// The tool-path preview: the whole path of a converted program at once, true
// to scale, as lines and arcs that are flattened for the current zoom. The
// window and qxrtool draw what this computes; nothing here knows of Qt.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/convert.h"

namespace qxr {

// The plane a view looks at: its horizontal and vertical axis.
enum class ViewPlane : std::uint8_t { XY = 0, XZ = 1, YZ = 2 };

enum class MoveKind : std::uint8_t { Rapid = 0, Feed = 1, Arc = 2 };

// Arc planes, with their first and second axis as the arc's angle sees them
// (G17: X, Y; G18: Z, X; G19: Y, Z).
enum class ArcPlane : std::uint8_t { XY = 0, ZX = 1, YZ = 2 };

// One move of the path. It starts where the previous move ended (the first
// at the program origin).
struct PreviewMove {
  double end[3] = {0, 0, 0};  // X, Y, Z
  double cu = 0, cv = 0;      // arc: centre along the plane's first and second axis
  double sweep = 0;           // arc: radians, positive counter-clockwise (G03), negative clockwise (G02)
  double a0 = 0, r0 = 0;      // arc: angle and radius of its start about the centre
  std::int32_t line = 0;      // 0-based program line
  MoveKind kind = MoveKind::Feed;
  ArcPlane plane = ArcPlane::XY;
};

struct PreviewBounds {
  double min[3] = {0, 0, 0};
  double max[3] = {0, 0, 0};
};

struct PreviewPath {
  std::vector<PreviewMove> moves;
  PreviewBounds bounds;         // of every point of the path, the start included
  ViewPlane suggestedPlane = ViewPlane::XY;  // the plane of the program's first arc
  bool cutOff = false;          // the flow words would have gone on past the limits
  std::size_t leftOut = 0;      // moves whose numbers overflowed

  double startPoint(std::size_t move, int axis) const {
    return move == 0 ? 0.0 : moves[move - 1].end[axis];
  }
};

// Moves a preview holds at most: about 72 bytes each, so a path stays within
// some 140 MB whatever the program's loops and calls would make of it. The
// rest of a program whose flow goes on past it is cut off, and said so.
inline constexpr std::size_t kMaxPreviewMoves = 2'000'000;

struct PreviewLimits {
  // Moves after which a program whose flow words keep it going is cut off.
  std::size_t maxMoves = kMaxPreviewMoves;
  // Records executed after which the walk stops (a jump loop without moves).
  long maxSteps = 100'000'000;
};

// Follows the table as a run does (modal values, G90/G91, G92, G28, plane
// choice, JMP, LOOP, CALL and the returns), each move at once. `executed`,
// when given, receives the index of every record the walk executes, in order.
PreviewPath buildPreviewPath(const CommandTable& table, const PreviewLimits& limits = {},
                             std::vector<int>* executed = nullptr);

// ---- the view ----

struct PreviewView {
  ViewPlane plane = ViewPlane::XY;
  int width = 800, height = 600;
  double scale = 1.0;               // pixels per program unit, the same along both axes
  double centreH = 0, centreV = 0;  // the program point at the middle of the view

  double toPixelX(double h) const { return width * 0.5 + (h - centreH) * scale; }
  double toPixelY(double v) const { return height * 0.5 - (v - centreV) * scale; }
  double toWorldH(double px) const { return centreH + (px - width * 0.5) / scale; }
  double toWorldV(double py) const { return centreV - (py - height * 0.5) / scale; }
};

// The horizontal and vertical axis (0 X, 1 Y, 2 Z) of a plane.
int horizontalAxis(ViewPlane plane);
int verticalAxis(ViewPlane plane);
const char* planeName(ViewPlane plane);  // "XY", "XZ", "YZ"

inline constexpr double kFitMargin = 24.0;  // pixels kept free around a fitted path

// The whole path in the view with `margin` pixels free on every side.
PreviewView fitView(const PreviewBounds& bounds, ViewPlane plane, int width, int height,
                    double margin = kFitMargin);
// Zooms by `factor` keeping the program point under the pixel (px, py) in place.
void zoomAt(PreviewView& view, double px, double py, double factor);
// Moves the drawing by (dx, dy) pixels.
void panBy(PreviewView& view, double dx, double dy);

// ---- flattening ----

inline constexpr double kArcTolerance = 0.25;  // pixels between an arc and its chords
inline constexpr double kMergeDistance = 0.2;  // points closer than this to the last drawn one are dropped

enum class Stroke : std::uint8_t { Rapid = 0, Feed = 1, SelectedRapid = 2, SelectedFeed = 3 };

struct PixelPoint {
  float x = 0, y = 0;
};

// Polylines in pixels: run k draws points[first .. first + count) with its stroke.
struct PreviewScene {
  struct Run {
    std::uint32_t first = 0, count = 0;
    Stroke stroke = Stroke::Feed;
  };
  std::vector<PixelPoint> points;
  std::vector<Run> runs;
  bool hasStart = false, hasEnd = false;
  PixelPoint start, end;
};

// Which moves a drawing takes: all, or those of the selected line or the others.
enum class PathPart : std::uint8_t { All, Selected, Unselected };

// The path as the view shows it, each arc in chords no farther than
// kArcTolerance pixels from it; moves outside the view are left out. Moves of
// `selectedLine` get the selected strokes (-1: none).
void flattenPath(const PreviewPath& path, const PreviewView& view, int selectedLine, PreviewScene& scene,
                 PathPart part = PathPart::All);

// A 32-bit image to draw into: `stride` pixels a row, a colour per stroke.
struct RasterTarget {
  std::uint32_t* pixels = nullptr;
  int width = 0, height = 0;
  std::ptrdiff_t stride = 0;
  std::uint32_t colours[4] = {0, 0, 0, 0};
};

// The path drawn one pixel wide without smoothing straight into `target`
// (rapids dashed): for paths too dense for smoothed strokes to show.
void rasterizePath(const PreviewPath& path, const PreviewView& view, int selectedLine, PathPart part,
                   const RasterTarget& target);

// The points of one move in pixels (its start first), arcs flattened to
// `tolerance` pixels.
void movePixels(const PreviewPath& path, std::size_t move, const PreviewView& view, double tolerance,
                std::vector<PixelPoint>& out);

// The move drawn nearest to the pixel (px, py) within `reach` pixels, -1 when none.
long hitTest(const PreviewPath& path, const PreviewView& view, double px, double py, double reach = 4.0);

// ---- grid ----

// Grid spacing in program units: 1, 2 or 5 times a power of ten, the
// smallest whose lines lie at least `minPixels` apart.
double gridSpacing(double scale, double minPixels = 40.0);
// "10", "0.5", "200" and the like.
std::string spacingText(double spacing);

// The grid lines of a view in pixels; the line through the origin is marked.
struct PreviewGrid {
  double spacing = 1.0;
  std::vector<double> columns, rows;  // pixel x of the vertical lines, pixel y of the horizontal ones
  double originColumn = -1, originRow = -1;  // -1 when the origin's line is not in view
};
PreviewGrid previewGrid(const PreviewView& view, double minPixels = 40.0);

// ---- SVG ----

// The view as an SVG document: the grid with its spacing, the feed moves as
// solid paths and the rapids as dashed ones, arcs seen in their own plane as
// SVG arcs, and the start and end marks.
std::string previewSvg(const PreviewPath& path, const PreviewView& view);

}  // namespace qxr
