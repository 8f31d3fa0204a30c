// The tool-path preview: the geometry of a million moves (lines, arcs both
// ways and rapids), its fitted redraw into an 800 x 600 image, and a
// 6000-line program from its text to the drawn preview. The peak resident
// set after the geometry is reported as peak_MiB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/convert.h"
#include "sim/preview.h"
#include "app/previewpaint.h"

namespace {

using namespace qxr;

double peakMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// A pocket-like path: rows of feeds joined by quarter arcs both ways, a rapid
// every sixth move. `count` records, as the lenient conversion would give them.
CommandTable millionMoveTable(int count) {
  CommandTable table;
  table.setBounded(false);
  table.reserve(static_cast<std::size_t>(count));
  double x = 0, y = 0;
  for (int i = 0; i < count; ++i) {
    CommandRecord r;
    r.N = i;
    r.B = i;
    r.MX = kMaskX | kMaskY;
    switch (i % 6) {
      case 0: r.C = code::G00; x = (i / 6) % 997 * 0.5; y = (i / 6) % 1009 * 0.3; break;
      case 1: r.C = code::G01; x += 3; break;
      case 2:  // quarter counter-clockwise, bottom to right
        r.C = code::G03; r.J = 2; r.MX |= kMaskJ; x += 2; y += 2;
        break;
      case 3: r.C = code::G01; y += 1.5; break;
      case 4:  // quarter clockwise, left to top
        r.C = code::G02; r.I = 2; r.MX |= kMaskI; x += 2; y += 2;
        break;
      default: r.C = code::G01; x -= 4; break;
    }
    r.X = x;
    r.Y = y;
    table.AppendRecord(r);
  }
  return table;
}

// The drawing benchmarks keep the path alone, as the window does once the
// table is converted: the table is freed after the path is built.
const PreviewPath& millionPath() {
  static const PreviewPath path = buildPreviewPath(millionMoveTable(1'000'000));
  return path;
}

// Peak memory here: the table and the path side by side, as while building.
void BM_Geometry1M(benchmark::State& state) {
  const CommandTable table = millionMoveTable(1'000'000);
  std::size_t moves = 0;
  for (auto _ : state) {
    PreviewPath path = buildPreviewPath(table);
    moves = path.moves.size();
    benchmark::DoNotOptimize(path.bounds);
  }
  state.counters["moves"] = double(moves);
  state.counters["moves_per_s"] = benchmark::Counter(double(moves), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_MiB"] = peakMiB();
}
BENCHMARK(BM_Geometry1M)->Unit(benchmark::kMillisecond)->Iterations(5);

// The chords and merged points of the fitted view, without drawing.
void BM_Flatten1MFitted(benchmark::State& state) {
  const PreviewPath& path = millionPath();
  const PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
  PreviewScene scene;
  for (auto _ : state) flattenPath(path, view, -1, scene);
  state.counters["points"] = double(scene.points.size());
  state.counters["runs"] = double(scene.runs.size());
}
BENCHMARK(BM_Flatten1MFitted)->Unit(benchmark::kMillisecond)->Iterations(10);

// What the window does on every repaint: grid, flattening, antialiased strokes.
void BM_Redraw1MFitted(benchmark::State& state) {
  const PreviewPath& path = millionPath();
  const PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
  QImage image(800, 600, QImage::Format_RGB32);
  PreviewScene scene;
  for (auto _ : state) {
    QPainter painter(&image);
    paintPreview(painter, path, view, 3, QStringLiteral("Grid 50"), scene);
  }
  state.counters["peak_MiB"] = peakMiB();
}
BENCHMARK(BM_Redraw1MFitted)->Unit(benchmark::kMillisecond)->Iterations(10);

// A zoomed-in redraw: most moves fall outside the view.
void BM_Redraw1MZoomed(benchmark::State& state) {
  const PreviewPath& path = millionPath();
  PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
  zoomAt(view, 400, 300, 40);
  QImage image(800, 600, QImage::Format_RGB32);
  PreviewScene scene;
  for (auto _ : state) {
    QPainter painter(&image);
    paintPreview(painter, path, view, -1, QStringLiteral("Grid 1"), scene);
  }
}
BENCHMARK(BM_Redraw1MZoomed)->Unit(benchmark::kMillisecond)->Iterations(10);

std::string number(double value) { return std::to_string(value); }

std::string words(std::initializer_list<std::string> parts) {
  std::string line;
  for (const std::string& part : parts) line += part;
  return line;
}

std::vector<std::string> programLines(int count) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(count));
  lines.push_back("O0008 (POCKET)");
  lines.push_back("G54 G90 G17");
  double x = 0, y = 0;
  for (int i = 2; i < count; ++i) {
    switch (i % 6) {
      case 0:
        x = (i % 97) * 0.5;
        y = (i % 89) * 0.3;
        lines.push_back(words({"G00 X", number(x), " Y", number(y)}));
        break;
      case 1: x += 3; lines.push_back(words({"G01 X", number(x), " F1200"})); break;
      case 2:
        lines.push_back(words({"G03 X", number(x + 2), " Y", number(y + 2), " I0 J2"}));
        x += 2, y += 2;
        break;
      case 3: y += 1.5; lines.push_back(words({"Y", number(y)})); break;
      case 4:
        lines.push_back(words({"G02 X", number(x + 2), " Y", number(y + 2), " I2 J0"}));
        x += 2, y += 2;
        break;
      default: x -= 4; lines.push_back(words({"G01 X", number(x)})); break;
    }
  }
  return lines;
}

// From the editor's 6000 lines to the drawn preview: lenient conversion,
// geometry, fit and the first paint.
void BM_Preview6000Lines(benchmark::State& state) {
  const std::vector<std::string> lines = programLines(6000);
  QImage image(800, 600, QImage::Format_RGB32);
  PreviewScene scene;
  std::size_t warnings = 0;
  for (auto _ : state) {
    LenientConversion conversion = convertLeniently(lines);
    warnings = conversion.warnings.size();
    const PreviewPath path = buildPreviewPath(conversion.table);
    const PreviewView view = fitView(path.bounds, path.suggestedPlane, 800, 600);
    QPainter painter(&image);
    paintPreview(painter, path, view, -1, QStringLiteral("Grid 5"), scene);
  }
  state.counters["warnings"] = double(warnings);
}
BENCHMARK(BM_Preview6000Lines)->Unit(benchmark::kMillisecond);

// The same program's text to geometry, without the paint.
void BM_Convert6000LinesLeniently(benchmark::State& state) {
  const std::vector<std::string> lines = programLines(6000);
  for (auto _ : state) {
    LenientConversion conversion = convertLeniently(lines);
    benchmark::DoNotOptimize(buildPreviewPath(conversion.table).bounds);
  }
}
BENCHMARK(BM_Convert6000LinesLeniently)->Unit(benchmark::kMillisecond);

// The SVG of the fitted million-move path.
void BM_Svg1MFitted(benchmark::State& state) {
  const PreviewPath& path = millionPath();
  const PreviewView view = fitView(path.bounds, ViewPlane::XY, 800, 600);
  std::size_t bytes = 0;
  for (auto _ : state) bytes = previewSvg(path, view).size();
  state.counters["MiB"] = double(bytes) / (1 << 20);
}
BENCHMARK(BM_Svg1MFitted)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  // Text in the paint needs the GUI application; no display is used.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
