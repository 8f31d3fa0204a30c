#pragma once
// The simulator's tool-path plot, drawn into a plain pixel buffer so that the
// window and the headless plot of qxrtool show the same picture.
#include <cstdint>
#include <string>
#include <vector>

namespace qxr {

inline constexpr int kPlotWidth = 413;
inline constexpr int kPlotHeight = 357;

// 0xAARRGGBB with opaque alpha (the layout of a 32-bit RGB image).
using Rgb = std::uint32_t;
constexpr Rgb rgb(unsigned r, unsigned g, unsigned b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }
inline constexpr Rgb kWhite = rgb(255, 255, 255);
inline constexpr Rgb kRed = rgb(255, 0, 0);
inline constexpr Rgb kBlue = rgb(0, 0, 255);
inline constexpr Rgb kDarkGreen = rgb(0, 128, 0);
inline constexpr Rgb kGreen = rgb(0, 255, 0);

// A width x height image of Rgb pixels, row by row. Reads outside the image
// give white and writes outside it are dropped.
class PixelImage {
 public:
  PixelImage(int width, int height) : width_(width), height_(height), pixels_(std::size_t(width) * height, kWhite) {}
  int width() const { return width_; }
  int height() const { return height_; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  Rgb pixel(int x, int y) const { return contains(x, y) ? pixels_[index(x, y)] : kWhite; }
  void setPixel(int x, int y, Rgb colour) {
    if (contains(x, y)) pixels_[index(x, y)] = colour;
  }
  void fill(Rgb colour) { pixels_.assign(pixels_.size(), colour); }
  const Rgb* data() const { return pixels_.data(); }
  Rgb* data() { return pixels_.data(); }

 private:
  std::size_t index(int x, int y) const { return std::size_t(y) * width_ + x; }
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

// What a plot step needs from the interpreter.
struct PlotContext {
  bool firstRun = false;  // the call made by a fresh start resets the marker
  double posZ = 0.0;
  double displayZ = 0.0;  // only points at this Z leave a trail
  double xMin = 0.0, yMin = 0.0;
  double scaleX = 1.0, scaleY = 1.0;
};

// Truncation toward zero for pixel coordinates; values beyond any image
// (or not numbers at all) land far outside it instead of overflowing.
int pixelCoordinate(double value);

class PathPlot {
 public:
  explicit PathPlot(int width = kPlotWidth, int height = kPlotHeight);

  PixelImage& image() { return image_; }
  const PixelImage& image() const { return image_; }

  // Clears the image and draws the axes with their arrow heads at the origin.
  void ShowXYCoord();
  // Moves the tool marker to X = x, Y = y, leaving a trail pixel when the
  // tool is at the chosen Z. Returns false for the marker reset of a fresh
  // start (no position to show).
  bool PutPixel(double y, double x, const PlotContext& context);

  // Mirroring; both redraw the axes.
  void setMirrorX(bool mirrored);
  void setMirrorY(bool mirrored);

  double CenterX, CenterY;
  double Margin = 5.0;
  double AxisLen = 50.0;
  int DirX = 1;
  int DirY = -1;
  double OriginX = 0.0, OriginY = 0.0;

  int markerX() const { return markerX_; }
  int markerY() const { return markerY_; }

 private:
  void arrow(int x1, int y1, int x2, int y2, Rgb colour, bool head);
  void line(int x1, int y1, int x2, int y2, Rgb colour);
  void saveNeighbours();
  void restoreNeighbours();
  void paintNeighbours(Rgb colour);

  PixelImage image_;
  bool markerPlaced_ = false;
  int markerX_ = 0, markerY_ = 0;
  Rgb saved_[4] = {kWhite, kWhite, kWhite, kWhite};
};

// "X%.3f Y%.3f Z%.3f" of a position and "(X%.3f,Y%.3f) , (X%.3f,Y%.3f)" of
// the extents, with a decimal point in every locale.
std::string positionText(double x, double y, double z);
std::string extentsText(double xMin, double yMin, double xMax, double yMax);

}  // namespace qxr
