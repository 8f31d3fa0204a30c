#include "sim/plot.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "sim/numtext.h"

namespace qxr {

namespace {

constexpr double kPi = 3.1415926;
constexpr double kOffImage = 1.0e6;  // far outside any plot, well inside int

// The four neighbours of the marker: right, left, below, above.
constexpr int kNeighbourDx[4] = {1, -1, 0, 0};
constexpr int kNeighbourDy[4] = {0, 0, 1, -1};

}  // namespace

int pixelCoordinate(double value) {
  if (std::isnan(value)) return static_cast<int>(-kOffImage);
  if (value > kOffImage) return static_cast<int>(kOffImage);
  if (value < -kOffImage) return static_cast<int>(-kOffImage);
  return static_cast<int>(value);  // truncation toward zero
}

PathPlot::PathPlot(int width, int height)
    : CenterX(width * 0.5), CenterY(height * 0.5), image_(width, height) {
  ShowXYCoord();
}

void PathPlot::ShowXYCoord() {
  image_.fill(kWhite);
  OriginX = CenterX + (CenterX - Margin) * (-DirX);
  OriginY = CenterY + (CenterY - Margin) * (-DirY);
  const int ox = pixelCoordinate(OriginX);
  const int oy = pixelCoordinate(OriginY);
  arrow(ox, oy, pixelCoordinate(DirX * AxisLen + OriginX), oy, kBlue, true);
  arrow(ox, oy, ox, pixelCoordinate(DirY * AxisLen + OriginY), kBlue, true);
}

void PathPlot::setMirrorX(bool mirrored) {
  DirX = mirrored ? -1 : 1;
  ShowXYCoord();
}

void PathPlot::setMirrorY(bool mirrored) {
  DirY = mirrored ? 1 : -1;
  ShowXYCoord();
}

void PathPlot::arrow(int x1, int y1, int x2, int y2, Rgb colour, bool head) {
  line(x1, y1, x2, y2, colour);
  if (!head) return;
  const double a = std::atan2(double(x2 - x1), double(y2 - y1)) * 180.0 * (1.0 / kPi);
  for (double barb : {a + 30.0 + 180.0, a - 30.0 + 180.0}) {
    const double radians = barb * kPi * (1.0 / 180.0);
    line(x2, y2, pixelCoordinate(x2 + 5.0 * std::sin(radians)), pixelCoordinate(y2 + 5.0 * std::cos(radians)),
         colour);
  }
}

// A line from (x1, y1) up to, not including, (x2, y2), as a pen's line-to
// draws it; the far end is left for the next segment.
void PathPlot::line(int x1, int y1, int x2, int y2, Rgb colour) {
  const long dx = std::labs(long(x2) - x1), dy = -std::labs(long(y2) - y1);
  const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  long error = dx + dy;
  int x = x1, y = y1;
  while (x != x2 || y != y2) {
    image_.setPixel(x, y, colour);
    const long twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
  }
}

void PathPlot::saveNeighbours() {
  for (int k = 0; k < 4; ++k) saved_[k] = image_.pixel(markerX_ + kNeighbourDx[k], markerY_ + kNeighbourDy[k]);
}

void PathPlot::restoreNeighbours() {
  for (int k = 0; k < 4; ++k) image_.setPixel(markerX_ + kNeighbourDx[k], markerY_ + kNeighbourDy[k], saved_[k]);
}

void PathPlot::paintNeighbours(Rgb colour) {
  for (int k = 0; k < 4; ++k) image_.setPixel(markerX_ + kNeighbourDx[k], markerY_ + kNeighbourDy[k], colour);
}

bool PathPlot::PutPixel(double y, double x, const PlotContext& context) {
  const int homeX = pixelCoordinate(3 * DirX + OriginX);
  const int homeY = pixelCoordinate(3 * DirY + OriginY);
  if (!markerPlaced_) {
    markerPlaced_ = true;
    markerX_ = homeX;
    markerY_ = homeY;
  }
  if (context.firstRun) {
    // A fresh start: wipe the old cross and bring the marker home. What lay
    // under the old cross is gone, so nothing of it is put back later.
    paintNeighbours(kWhite);
    for (Rgb& colour : saved_) colour = kWhite;
    markerX_ = homeX;
    markerY_ = homeY;
  }
  if (context.posZ == context.displayZ) image_.setPixel(markerX_, markerY_, kRed);
  restoreNeighbours();

  const double px = double(pixelCoordinate((x - context.xMin) * context.scaleX * DirX)) + OriginX + 3 * DirX;
  const double py = double(pixelCoordinate((y - context.yMin) * context.scaleY * DirY)) + OriginY + 3 * DirY;
  markerX_ = pixelCoordinate(px);
  markerY_ = pixelCoordinate(py);
  saveNeighbours();
  if (context.firstRun) return false;
  paintNeighbours(kDarkGreen);
  return true;
}

// Appends piece by piece: "literal" + string trips a false -Wrestrict in GCC 12.
std::string positionText(double x, double y, double z) {
  std::string text;
  for (const auto& [label, value] : {std::pair{"X", x}, {" Y", y}, {" Z", z}}) {
    text += label;
    text += formatFixed(value, 0, 3);
  }
  return text;
}

std::string extentsText(double xMin, double yMin, double xMax, double yMax) {
  std::string text;
  for (const auto& [label, value] : {std::pair{"(X", xMin}, {",Y", yMin}, {") , (X", xMax}, {",Y", yMax}}) {
    text += label;
    text += formatFixed(value, 0, 3);
  }
  text += ')';
  return text;
}

}  // namespace qxr
