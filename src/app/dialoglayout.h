#pragma once
// Geometry of the message dialog, in pixels, from the font's average
// character size (dialog units) and the measured message.
#include <vector>

namespace qxr {

struct DialogRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const DialogRect&) const = default;
};

struct DialogUnits {
  int horzMargin = 0, vertMargin = 0, horzSpacing = 0, vertSpacing = 0;
  int buttonWidth = 0, buttonHeight = 0, buttonSpacing = 0;
};

// a * b / c rounded to the nearest integer (halves away from zero).
int mulDivRound(int a, int b, int c);

// cx: average character width, cy: character height.
DialogUnits dialogUnits(int cx, int cy);

// The average character width from the measured width of "A"-"Z" "a"-"z".
int averageCharWidth(int alphabetWidth);

inline constexpr int kDialogIconSize = 32;

struct DialogLayout {
  int clientWidth = 0, clientHeight = 0;
  int windowLeft = 0, windowTop = 0;
  DialogRect icon;     // empty when the kind has no icon
  DialogRect message;
  std::vector<DialogRect> buttons;
};

// textWidth / textHeight: the message measured with word-breaking at half the
// screen width. frameWidth / frameHeight: what the window frame adds to the
// client area (for centring).
DialogLayout layoutMessageDialog(const DialogUnits& units, int textWidth, int textHeight, bool hasIcon,
                                 int buttonCount, int screenWidth, int screenHeight, int frameWidth = 0,
                                 int frameHeight = 0);

}  // namespace qxr
