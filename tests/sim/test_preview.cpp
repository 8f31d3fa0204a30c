// The tool-path preview's geometry: moves from the lenient conversion, arcs
// per plane, the view's equal scale, fit, zoom, flattening, hit-testing, the
// grid and the SVG.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "sim/convert.h"
#include "sim/preview.h"

using namespace qxr;

namespace {

PreviewPath pathOf(const std::vector<std::string>& lines) {
  const LenientConversion conversion = convertLeniently(lines);
  return buildPreviewPath(conversion.table);
}

struct Extent {
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  double width() const { return maxX - minX; }
  double height() const { return maxY - minY; }
};

double distanceToSegment(double px, double py, const PixelPoint& a, const PixelPoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = dx * dx + dy * dy;
  const double t = length > 0 ? std::clamp(((px - a.x) * dx + (py - a.y) * dy) / length, 0.0, 1.0) : 0.0;
  return std::hypot(a.x + t * dx - px, a.y + t * dy - py);
}

double distanceToScene(const PreviewScene& scene, double px, double py) {
  double best = 1e300;
  for (const PreviewScene::Run& run : scene.runs)
    for (std::uint32_t k = 1; k < run.count; ++k)
      best = std::min(best, distanceToSegment(px, py, scene.points[run.first + k - 1], scene.points[run.first + k]));
  return best;
}

}  // namespace

// A full circle in each plane, seen in that plane, is as wide as it is tall
// on the screen, whatever the view's shape.
TEST(PreviewGeometry, CircleIsDrawnAsWideAsTall) {
  struct Case {
    std::vector<std::string> program;
    ViewPlane plane;
  };
  const Case cases[] = {
      {{"G00 X10 Y0", "G02 X10 Y0 I-10 J0"}, ViewPlane::XY},
      {{"G18", "G00 X10 Z0", "G03 Z0 X10 K0 I-10"}, ViewPlane::XZ},
      {{"G19", "G00 Y0 Z10", "G02 Y0 Z10 J0 K-10"}, ViewPlane::YZ},
  };
  for (const Case& c : cases) {
    for (const auto& [w, h] : {std::pair{800, 600}, {413, 357}, {300, 700}}) {
      const PreviewPath path = pathOf(c.program);
      const PreviewView view = fitView(path.bounds, c.plane, w, h);
      PreviewScene scene;
      flattenPath(path, view, -1, scene);
      Extent e;  // of the circle's stroke alone
      for (const PreviewScene::Run& run : scene.runs) {
        if (run.stroke != Stroke::Feed) continue;
        for (std::uint32_t k = 0; k < run.count; ++k) {
          const PixelPoint& p = scene.points[run.first + k];
          e.minX = std::min<double>(e.minX, p.x);
          e.maxX = std::max<double>(e.maxX, p.x);
          e.minY = std::min<double>(e.minY, p.y);
          e.maxY = std::max<double>(e.maxY, p.y);
        }
      }
      EXPECT_NEAR(e.width(), 20 * view.scale, 1.0) << planeName(c.plane) << " " << w << "x" << h;
      EXPECT_NEAR(e.width(), e.height(), 1.0) << planeName(c.plane) << " " << w << "x" << h;
    }
  }
}

// G02 turns clockwise and G03 counter-clockwise as the plane's first axis
// points right and its second up: a half circle from (0, 0) to (10, 0) about
// (5, 0) passes over the top clockwise and below counter-clockwise.
TEST(PreviewGeometry, ArcDirectionInEachPlane) {
  struct Case {
    const char* plane;
    const char* arc;
    int first, second;  // the plane's axes as X 0, Y 1, Z 2
    double expectedSecond;  // where the arc's middle lies along the second axis
  };
  const Case cases[] = {
      {"G17", "G02 X10 Y0 I5 J0", 0, 1, 5},   {"G17", "G03 X10 Y0 I5 J0", 0, 1, -5},
      {"G18", "G02 Z10 X0 K5 I0", 2, 0, 5},   {"G18", "G03 Z10 X0 K5 I0", 2, 0, -5},
      {"G19", "G02 Y10 Z0 J5 K0", 1, 2, 5},   {"G19", "G03 Y10 Z0 J5 K0", 1, 2, -5},
      {"G17", "G02 X10 Y0 R5", 0, 1, 5},      {"G17", "G03 X10 Y0 R5", 0, 1, -5},
  };
  for (const Case& c : cases) {
    const PreviewPath path = pathOf({c.plane, c.arc});
    ASSERT_EQ(path.moves.size(), 1u) << c.arc;
    const PreviewMove& arc = path.moves[0];
    EXPECT_EQ(arc.kind, MoveKind::Arc);
    EXPECT_NEAR(std::fabs(arc.sweep), M_PI, 1e-9) << c.arc;
    // The bounds reach the arc's middle on one side of the chord only.
    const double reached = c.expectedSecond > 0 ? path.bounds.max[c.second] : path.bounds.min[c.second];
    EXPECT_NEAR(reached, c.expectedSecond, 1e-9) << c.plane << " " << c.arc;
    const double other = c.expectedSecond > 0 ? path.bounds.min[c.second] : path.bounds.max[c.second];
    EXPECT_NEAR(other, 0, 1e-9) << c.plane << " " << c.arc;
    EXPECT_NEAR(path.bounds.max[c.first], 10, 1e-9);
  }
  // A full circle turns all the way round, in the programmed direction.
  EXPECT_NEAR(pathOf({"G00 X5", "G02 X5 Y0 I5 J0"}).moves[1].sweep, -2 * M_PI, 1e-12);
  EXPECT_NEAR(pathOf({"G00 X5", "G03 X5 Y0 I5 J0"}).moves[1].sweep, 2 * M_PI, 1e-12);
  // The view follows the plane of the first arc.
  EXPECT_EQ(pathOf({"G18", "G02 Z10 X0 K5 I0"}).suggestedPlane, ViewPlane::XZ);
  EXPECT_EQ(pathOf({"G19", "G02 Y10 Z0 J5 K0"}).suggestedPlane, ViewPlane::YZ);
}

// Rapids, feeds and arcs keep their kinds through modal blocks, the reference
// return and the absolute and incremental modes, and the scene gives them
// different strokes.
TEST(PreviewGeometry, RapidsAreToldFromFeeds) {
  const PreviewPath path = pathOf({"G00 X10 Y10", "X20", "G01 X30 F100", "Y20", "G02 X40 Y10 I0 J-10",
                                   "G91 G00 X5", "G01 Y-5", "G90 G28", "G00 X0 Y0"});
  struct Expected {
    MoveKind kind;
    double x, y;
    int line;
  };
  const Expected expected[] = {
      {MoveKind::Rapid, 10, 10, 0}, {MoveKind::Rapid, 20, 10, 1}, {MoveKind::Feed, 30, 10, 2},
      {MoveKind::Feed, 30, 20, 3},  {MoveKind::Arc, 40, 10, 4},   {MoveKind::Rapid, 45, 10, 5},
      {MoveKind::Feed, 45, 5, 6},   {MoveKind::Rapid, 0, 0, 7},
  };
  ASSERT_EQ(path.moves.size(), std::size(expected));  // the last rapid goes nowhere
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    EXPECT_EQ(path.moves[i].kind, expected[i].kind) << i;
    EXPECT_DOUBLE_EQ(path.moves[i].end[0], expected[i].x) << i;
    EXPECT_DOUBLE_EQ(path.moves[i].end[1], expected[i].y) << i;
    EXPECT_EQ(path.moves[i].line, expected[i].line) << i;
  }
  PreviewScene scene;
  flattenPath(path, fitView(path.bounds, ViewPlane::XY, 800, 600), -1, scene);
  int rapidRuns = 0, feedRuns = 0;
  for (const PreviewScene::Run& run : scene.runs) (run.stroke == Stroke::Rapid ? rapidRuns : feedRuns) += 1;
  EXPECT_EQ(rapidRuns, 3);
  EXPECT_EQ(feedRuns, 2);
  // The moves of the selected line get the selected strokes, the others not.
  flattenPath(path, fitView(path.bounds, ViewPlane::XY, 800, 600), 5, scene);
  int selected = 0;
  for (const PreviewScene::Run& run : scene.runs) selected += run.stroke == Stroke::SelectedRapid;
  EXPECT_EQ(selected, 1);
}

// Flow words repeat moves as the run would; an endless jump is cut off.
TEST(PreviewGeometry, FlowWordsRepeatMoves) {
  struct Case {
    std::vector<std::string> program;
    std::size_t moves;
  };
  const Case cases[] = {
      {{"G91", "G01 X1", "LOOP N1 L3", "M30"}, 3},
      {{"G91", "CALL N4 L2", "M30", "G01 X1", "G01 Y1", "M99"}, 4},
      {{"G01 X1", "M30", "G01 X2"}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(pathOf(c.program).moves.size(), c.moves) << c.program[1];
  PreviewLimits limits;
  limits.maxMoves = 50;
  const LenientConversion endless = convertLeniently({"G91 G01 X1", "JMP N1", "LOOP N1 L999"});
  const PreviewPath cut = buildPreviewPath(endless.table, limits);
  EXPECT_TRUE(cut.cutOff);
  EXPECT_EQ(cut.moves.size(), 50u);
  // The path never holds room for more moves than the bound.
  EXPECT_LE(cut.moves.capacity(), limits.maxMoves);
}

// Every point of an arc lies within half a pixel of what is drawn, at every
// zoom, and so do the merged short moves.
TEST(PreviewGeometry, FlatteningStaysWithinHalfAPixel) {
  const PreviewPath path = pathOf({"G00 X50 Y0", "G03 X0 Y50 I-50 J0", "G02 X-3 Y53 I0 J3", "G03 X-53 Y3 R-50"});
  for (double zoom : {0.05, 0.1, 0.2, 1.0, 7.0, 60.0}) {
    PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
    zoomAt(view, view.toPixelX(35.3553), view.toPixelY(35.3553), zoom);  // on the first arc
    PreviewScene scene;
    flattenPath(path, view, -1, scene);
    double worst = 0;
    long checked = 0;
    for (std::size_t i = 1; i < path.moves.size(); ++i) {
      std::vector<PixelPoint> fine;
      movePixels(path, i, view, 0.001, fine);  // the arc itself, near enough
      for (const PixelPoint& p : fine) {
        if (p.x < 0 || p.y < 0 || p.x > view.width || p.y > view.height) continue;
        worst = std::max(worst, distanceToScene(scene, p.x, p.y));
        ++checked;
      }
    }
    EXPECT_GT(checked, 0) << zoom;
    EXPECT_LT(worst, 0.5) << "zoom " << zoom;
  }
  // Many tiny moves merge into few points, still within half a pixel.
  std::vector<std::string> zigzag;
  for (int i = 0; i < 2000; ++i) zigzag.push_back("G01 X" + std::to_string(i * 0.01) + (i % 2 ? " Y0.01" : " Y0"));
  zigzag.push_back("G00 X100");
  const PreviewPath dense = pathOf(zigzag);
  const PreviewView view = fitView(dense.bounds, ViewPlane::XY, 800, 600);
  PreviewScene scene;
  flattenPath(dense, view, -1, scene);
  EXPECT_LT(scene.points.size(), dense.moves.size() / 2);
  for (std::size_t i = 0; i < dense.moves.size(); i += 97) {
    const double x = view.toPixelX(dense.moves[i].end[0]), y = view.toPixelY(dense.moves[i].end[1]);
    EXPECT_LT(distanceToScene(scene, x, y), 0.5) << i;
  }
}

// The fitted path fills the view less its margin along one axis and is
// centred along the other; a path on one point or one line still fits.
TEST(PreviewView, FitKeepsTheMargin) {
  struct Case {
    std::vector<std::string> program;
    int width, height;
  };
  const Case cases[] = {
      {{"G01 X100 Y10"}, 800, 600},   {{"G01 X10 Y100"}, 800, 600}, {{"G01 X100 Y100"}, 413, 357},
      {{"G01 X100"}, 640, 480},        {{"G01 Y-40"}, 640, 480},     {{"G00 X5 Y5", "G02 X5 Y5 I10 J0"}, 300, 900},
  };
  for (const Case& c : cases) {
    const PreviewPath path = pathOf(c.program);
    const PreviewView view = fitView(path.bounds, ViewPlane::XY, c.width, c.height);
    const double left = view.toPixelX(path.bounds.min[0]), right = view.toPixelX(path.bounds.max[0]);
    const double top = view.toPixelY(path.bounds.max[1]), bottom = view.toPixelY(path.bounds.min[1]);
    EXPECT_GE(left, kFitMargin - 1e-6) << c.program[0];
    EXPECT_GE(top, kFitMargin - 1e-6) << c.program[0];
    EXPECT_LE(right, c.width - kFitMargin + 1e-6) << c.program[0];
    EXPECT_LE(bottom, c.height - kFitMargin + 1e-6) << c.program[0];
    const bool fillsWidth = std::fabs(right - left - (c.width - 2 * kFitMargin)) < 1e-6;
    const bool fillsHeight = std::fabs(bottom - top - (c.height - 2 * kFitMargin)) < 1e-6;
    EXPECT_TRUE(fillsWidth || fillsHeight) << c.program[0];
    EXPECT_NEAR((left + right) / 2, c.width / 2.0, 1e-6);
    EXPECT_NEAR((top + bottom) / 2, c.height / 2.0, 1e-6);
  }
  const PreviewView still = fitView(PreviewBounds{}, ViewPlane::XY, 800, 600);
  EXPECT_TRUE(std::isfinite(still.scale) && still.scale > 0);
}

// Zooming keeps the program point under the cursor; panning moves the drawing.
TEST(PreviewView, ZoomAtCursorAndPan) {
  PreviewView view = fitView(pathOf({"G01 X100 Y50"}).bounds, ViewPlane::XY, 800, 600);
  for (const auto& [px, py, factor] : {std::tuple{100.0, 80.0, 2.0}, {700.0, 500.0, 0.25}, {400.0, 300.0, 13.0}}) {
    const double h = view.toWorldH(px), v = view.toWorldV(py);
    const double scale = view.scale;
    zoomAt(view, px, py, factor);
    EXPECT_NEAR(view.scale, scale * factor, 1e-9 * view.scale);
    EXPECT_NEAR(view.toPixelX(h), px, 1e-6);
    EXPECT_NEAR(view.toPixelY(v), py, 1e-6);
  }
  const double x = view.toPixelX(10), y = view.toPixelY(10);
  panBy(view, 30, -12);
  EXPECT_NEAR(view.toPixelX(10), x + 30, 1e-6);
  EXPECT_NEAR(view.toPixelY(10), y - 12, 1e-6);
}

// A click on or near a move gives that move (and so its line); a click in
// the empty middle of a circle or far off gives none.
TEST(PreviewView, HitTestFindsTheMoveUnderTheCursor) {
  const PreviewPath path = pathOf({"G00 X10 Y0", "G01 X60 Y0", "G03 X60 Y40 I0 J20", "G01 X10 Y40", "G00 X0 Y0"});
  const PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
  struct Case {
    double x, y;      // program point
    double dy;        // pixels off it
    long move;
  };
  const Case cases[] = {
      {5, 0, 0, 0}, {35, 0, 3, 1},  {80, 20, 0, 2}, {74.142, 34.142, -2, 2},
      {35, 40, 0, 3}, {5, 20, 0, 4}, {60, 20, -1, -1}, {35, 20, 0, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hitTest(path, view, view.toPixelX(c.x), view.toPixelY(c.y) + c.dy), c.move) << c.x << "," << c.y;
  EXPECT_EQ(path.moves[static_cast<std::size_t>(hitTest(path, view, view.toPixelX(80), view.toPixelY(20)))].line, 2);
}

// Grid lines lie at 1, 2 or 5 times a power of ten, at least 40 pixels apart.
TEST(PreviewView, GridSpacing) {
  struct Case {
    double scale;
    double spacing;
    const char* text;
  };
  const Case cases[] = {{40, 1, "1"},     {39.9, 2, "2"},      {10, 5, "5"},         {4, 10, "10"},
                        {0.5, 100, "100"}, {100, 0.5, "0.5"}, {3000, 0.02, "0.02"}, {0.0399, 2000, "2000"}};
  for (const Case& c : cases) {
    EXPECT_NEAR(gridSpacing(c.scale), c.spacing, c.spacing * 1e-9) << c.scale;
    EXPECT_EQ(spacingText(gridSpacing(c.scale)), c.text);
  }
  PreviewView view;
  view.scale = 10;
  const PreviewGrid grid = previewGrid(view);
  ASSERT_GE(grid.columns.size(), 2u);
  EXPECT_NEAR(grid.columns[1] - grid.columns[0], 50, 1e-9);
  EXPECT_NEAR(grid.originColumn, 400, 1e-9);
  EXPECT_NEAR(grid.originRow, 300, 1e-9);
}

// The SVG is well-formed XML with a feed path holding arcs and lines and a
// dashed rapid path.
TEST(PreviewSvg, ParsesAndHoldsThePaths) {
  const PreviewPath path = pathOf({"G00 X10 Y10", "G01 X60 Y10 F100", "G03 X60 Y10 I-20 J0", "G18",
                                   "G02 Z5 X60 K2.5 I0", "G00 X0 Y0 Z0"});
  const PreviewView view = fitView(path.bounds, ViewPlane::XY, 640, 480);
  const std::string svg = previewSvg(path, view);
  QXmlStreamReader xml(QByteArray::fromStdString(svg));
  std::string feed, rapid, dash;
  int grid = 0;
  bool start = false, end = false, label = false;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto a = xml.attributes();
    const std::string cls = a.value("class").toString().toStdString();
    if (xml.name() == QLatin1String("path") && cls == "feed") feed = a.value("d").toString().toStdString();
    if (xml.name() == QLatin1String("path") && cls == "rapid") {
      rapid = a.value("d").toString().toStdString();
      dash = a.value("stroke-dasharray").toString().toStdString();
    }
    if (xml.name() == QLatin1String("line")) ++grid;
    start |= cls == "start";
    end |= cls == "end";
    if (cls == "grid-spacing") label = xml.readElementText().contains("grid");
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(std::count(feed.begin(), feed.end(), 'A'), 3) << feed;  // the circle in three pieces
  EXPECT_NE(feed.find('L'), std::string::npos);                     // the line, the edge-on arc
  EXPECT_EQ(std::count(rapid.begin(), rapid.end(), 'M'), 2) << rapid;
  EXPECT_FALSE(dash.empty());
  EXPECT_GT(grid, 4);
  EXPECT_TRUE(start && end && label);
}

// The lenient conversion leaves out what the strict one refuses, names the
// line and the word, and converts the rest of the line.
TEST(LenientConversion, SkipsRefusedWordsWithWarnings) {
  struct Case {
    const char* line;
    std::vector<std::string> skipped;
    std::vector<std::uint8_t> codes;
  };
  const Case cases[] = {
      {"O0008 (ARCS DEMO)", {"O0008"}, {}},
      {"G54 G90 G00 X1", {"G54"}, {code::G90, code::G00}},
      {"N10 G01 X5 Y2", {"N10"}, {code::G01}},
      {"G01 X1 M06 M03", {"M06"}, {code::G01, code::M03}},
      {"G01 X1 Y2T5 F100", {"Y2T5"}, {code::G01}},
      {"G01 X1 (comment)", {}, {code::G01}},
      {"G59.1 X3", {"G59.1"}, {code::G01}},
      {"G00 X1 (no end", {"(no end"}, {code::G00}},
      {"%", {"%"}, {}},
      {"G04 P2", {"G04"}, {}},
  };
  for (const Case& c : cases) {
    NcConverter strict;
    const bool strictOk = strict.ConvertProgram({c.line}).ok();
    EXPECT_EQ(strictOk, c.skipped.empty() && std::string(c.line).find('(') == std::string::npos) << c.line;
    const LenientConversion lenient = convertLeniently({"G17", c.line});
    std::vector<std::string> words;
    for (const ConversionWarning& w : lenient.warnings) {
      EXPECT_EQ(w.line, 1) << c.line;
      words.push_back(w.word);
    }
    EXPECT_EQ(words, c.skipped) << c.line;
    std::vector<std::uint8_t> codes;
    for (int i = 1; i < lenient.table.CommandCount(); ++i) codes.push_back(lenient.table[i].C);
    EXPECT_EQ(codes, c.codes) << c.line;
  }
  // The words of a skipped line do not change what the others mean.
  const LenientConversion demo = convertLeniently({"O0008 (ARCS DEMO)", "G54 G90", "G02 X10 Y0 I5 J0", "X0 Y0 I-5"});
  ASSERT_EQ(demo.table.CommandCount(), 3);
  EXPECT_EQ(demo.table[2].C, code::G02);
}

// The lenient table takes any number of records; the strict one stops at its limit.
TEST(LenientConversion, IsNotBoundByTheTableSize) {
  std::vector<std::string> lines(CommandTable::kMaxRecords + 500, "G91 G01 X1");
  const LenientConversion lenient = convertLeniently(lines);
  EXPECT_TRUE(lenient.warnings.empty());
  EXPECT_EQ(lenient.table.CommandCount(), 2 * int(lines.size()));
  EXPECT_EQ(buildPreviewPath(lenient.table).moves.size(), lines.size());
  NcConverter strict;
  EXPECT_EQ(strict.ConvertProgram(lines).ENO, kEnoTableFull);
}

// Dense paths go straight into the image: feeds unbroken, rapids dashed, the
// selected line left for the smoothed strokes, far-off moves clipped.
TEST(PreviewRaster, DrawsFeedsWholeAndRapidsDashed) {
  struct Case {
    std::vector<std::string> program;
    int selectedLine;
    double centre;       // program X at the view's middle, 2 pixels a unit
    int minLit, maxLit;  // lit pixels on the middle row
  };
  const Case cases[] = {
      {{"G01 X100 Y0"}, -1, 50, 200, 200},          // a feed across the view's 200 pixels
      {{"G00 X100 Y0"}, -1, 50, 105, 120},          // five on, four off
      {{"G01 X100 Y0"}, 0, 50, 0, 0},               // the selected line is not rastered
      {{"G01 X100000000 Y0"}, -1, 5e7, 200, 200},   // far beyond the view on both sides
  };
  for (const Case& c : cases) {
    const PreviewPath path = pathOf(c.program);
    PreviewView view;
    view.width = 200;
    view.height = 20;
    view.scale = 2.0;
    view.centreH = c.centre;
    std::vector<std::uint32_t> pixels(200 * 20, 0);
    RasterTarget target;
    target.pixels = pixels.data();
    target.width = 200;
    target.height = 20;
    target.stride = 200;
    for (int k = 0; k < 4; ++k) target.colours[k] = 0xFF000000u | static_cast<std::uint32_t>(k + 1);
    rasterizePath(path, view, c.selectedLine, PathPart::Unselected, target);
    int lit = 0, elsewhere = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 200; ++x) (y == 10 ? lit : elsewhere) += pixels[y * 200 + x] != 0;
    EXPECT_GE(lit, c.minLit) << c.program[0];
    EXPECT_LE(lit, c.maxLit) << c.program[0];
    EXPECT_EQ(elsewhere, 0) << c.program[0];
  }
}

// Values as large as a word can hold (124 digits): the path stays finite,
// is fitted, and the SVG holds numbers only.
TEST(PreviewGeometry, HugeValuesStayFinite) {
  const std::string huge = "1" + std::string(123, '0');
  const PreviewPath path = pathOf({"G01 X" + huge + " Y-" + huge, "G02 X-" + huge + " Y" + huge + " R" + huge,
                                   "G91 G01 X" + huge, "G03 X1 Y1 I" + huge + " J-" + huge, "G90 G00 X0 Y0"});
  EXPECT_EQ(path.leftOut, 0u);
  EXPECT_EQ(path.moves.size(), 5u);
  for (int a = 0; a < 3; ++a) EXPECT_TRUE(std::isfinite(path.bounds.min[a]) && std::isfinite(path.bounds.max[a]));
  const PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
  EXPECT_TRUE(std::isfinite(view.scale) && view.scale > 0);
  const std::string svg = previewSvg(path, view);
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  PreviewScene scene;
  flattenPath(path, view, -1, scene);
  EXPECT_FALSE(scene.points.empty());
  PreviewView zoomed = view;
  zoomAt(zoomed, 400, 300, 1e-20);
  EXPECT_NEAR(zoomed.scale, view.scale * 1e-20, view.scale * 1e-30);
  flattenPath(path, zoomed, -1, scene);
  EXPECT_EQ(hitTest(path, zoomed, 400, 300), hitTest(path, zoomed, 400, 300));
}
