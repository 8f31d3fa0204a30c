#pragma once
// The shapes of the preview's moves, shared by its walk, its drawing and its
// SVG: an arc's axes, radii and points, and the box a move covers.
#include <cstddef>

#include "sim/preview.h"

namespace qxr::previewshape {

inline constexpr double kTwoPi = 6.283185307179586;

// First and second axis of an arc plane.
inline void arcAxes(ArcPlane plane, int& first, int& second) {
  switch (plane) {
    case ArcPlane::ZX: first = 2; second = 0; break;
    case ArcPlane::YZ: first = 1; second = 2; break;
    default: first = 0; second = 1; break;
  }
}

// An arc's start angle and its radii at the start and at the end.
struct ArcShape {
  int first = 0, second = 1, third = 2;
  double a0 = 0, r0 = 0, r1 = 0;
};

ArcShape arcShape(const PreviewPath& path, std::size_t index);
// The point of an arc at t in [0, 1]: angle and radius move evenly.
void arcPoint(const PreviewPath& path, std::size_t index, const ArcShape& s, double t, double out[3]);
// Box of every point of the path in program units, the origin included.
PreviewBounds pathBounds(const PreviewPath& path);
// Pixel box of a move; false when the move lies outside `view` grown by
// `grow`. An arc counts with its whole circle: quick, and never too small.
bool moveInView(const PreviewPath& path, std::size_t index, const PreviewView& view, double grow);

}  // namespace qxr::previewshape
