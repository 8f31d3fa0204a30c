// The preview as an SVG document.
#include <cmath>
#include <initializer_list>
#include <string_view>

#include "sim/numtext.h"
#include "sim/preview.h"
#include "sim/previewshape.h"

namespace qxr {

using namespace previewshape;

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

  const PreviewGrid grid = previewGrid(view);
  const std::string w = std::to_string(view.width), ht = std::to_string(view.height);
  std::string svg;
  // The path data are most of the document: one allocation, no growing copies.
  svg.reserve(rapid.data().size() + feed.data().size() + 80 * (grid.columns.size() + grid.rows.size()) + 4096);
  put(svg, {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"});
  put(svg, {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", w, "\" height=\"", ht, "\" viewBox=\"0 0 ", w, " ",
            ht, "\">\n"});
  put(svg, {"<rect width=\"", w, "\" height=\"", ht, "\" fill=\"#ffffff\"/>\n"});
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
