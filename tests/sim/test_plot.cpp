// The tool-path plot: axes, mirroring, trail and marker, and pixels that
// would fall outside the image.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sim/plot.h"

namespace qxr {
namespace {

int countColour(const PixelImage& image, Rgb colour, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) n += image.pixel(x, y) == colour;
  return n;
}

TEST(Plot, AxesSitAtTheOriginCornerAndFollowTheMirrors) {
  PathPlot plot;
  EXPECT_DOUBLE_EQ(plot.OriginX, 5.0);
  EXPECT_DOUBLE_EQ(plot.OriginY, 352.0);
  const PixelImage& image = plot.image();
  EXPECT_EQ(image.pixel(30, 352), kBlue);  // X axis to the right
  EXPECT_EQ(image.pixel(5, 320), kBlue);   // Y axis upwards
  EXPECT_EQ(image.pixel(5, 360), kWhite);
  // Arrow heads: barbs off the shaft near both tips.
  EXPECT_GE(countColour(image, kBlue, 49, 347, 55, 351), 3);
  EXPECT_GE(countColour(image, kBlue, 49, 353, 55, 357), 3);
  EXPECT_GE(countColour(image, kBlue, 0, 302, 4, 308), 3);

  plot.setMirrorX(true);
  EXPECT_DOUBLE_EQ(plot.OriginX, 408.0);
  EXPECT_EQ(plot.image().pixel(380, 352), kBlue);
  EXPECT_EQ(plot.image().pixel(30, 352), kWhite);
  plot.setMirrorY(true);
  EXPECT_DOUBLE_EQ(plot.OriginY, 5.0);
  EXPECT_EQ(plot.image().pixel(408, 30), kBlue);  // Y axis pointing down
  EXPECT_EQ(plot.image().pixel(408, 340), kWhite);
}

TEST(Plot, TrailOnlyAtTheChosenZAndAMarkerCross) {
  PathPlot plot;
  PlotContext context;
  context.scaleX = context.scaleY = 10.0;
  context.firstRun = true;
  EXPECT_FALSE(plot.PutPixel(0, 0, context));
  EXPECT_EQ(plot.markerX(), 8);
  EXPECT_EQ(plot.markerY(), 349);

  context.firstRun = false;
  EXPECT_TRUE(plot.PutPixel(0, 1, context));  // to X1: ten pixels right
  EXPECT_EQ(plot.image().pixel(8, 349), kRed);  // the trail of the point left
  EXPECT_EQ(plot.markerX(), 18);
  EXPECT_EQ(plot.image().pixel(19, 349), kDarkGreen);
  EXPECT_EQ(plot.image().pixel(18, 348), kDarkGreen);
  EXPECT_EQ(plot.image().pixel(18, 349), kWhite);  // the cross has no centre

  context.posZ = 5.0;  // away from the chosen Z: the marker moves, no trail
  plot.PutPixel(1, 1, context);
  EXPECT_EQ(plot.image().pixel(18, 349), kWhite);
  EXPECT_EQ(plot.image().pixel(19, 349), kWhite);  // old cross removed
  EXPECT_EQ(plot.markerY(), 339);

  // CLS clears the trail but the marker stays where it was.
  plot.ShowXYCoord();
  EXPECT_EQ(plot.image().pixel(8, 349), kWhite);
  EXPECT_EQ(plot.markerX(), 18);
  EXPECT_EQ(plot.markerY(), 339);
}

TEST(Plot, PointsFarOutsideOrNotNumbersTouchNothing) {
  PathPlot plot;
  PlotContext context;
  context.firstRun = true;
  plot.PutPixel(0, 0, context);
  context.firstRun = false;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {1e300, -1e300, nan, std::numeric_limits<double>::infinity(), 500.0, -3.0}) {
    plot.PutPixel(v, v, context);
    plot.PutPixel(0, v, context);
  }
  EXPECT_EQ(pixelCoordinate(1e300), 1000000);
  EXPECT_EQ(pixelCoordinate(nan), -1000000);
  EXPECT_EQ(pixelCoordinate(-2.7), -2);
  // The image is intact: only the axes, a few trail pixels and the cross.
  EXPECT_EQ(plot.image().width(), kPlotWidth);
  EXPECT_EQ(countColour(plot.image(), kRed, 0, 0, kPlotWidth - 1, kPlotHeight - 1) +
                countColour(plot.image(), kDarkGreen, 0, 0, kPlotWidth - 1, kPlotHeight - 1) <=
            12,
            true);
}

}  // namespace
}  // namespace qxr
