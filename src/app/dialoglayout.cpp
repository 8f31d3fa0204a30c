#include "app/dialoglayout.h"

#include <algorithm>
#include <cstdint>

namespace qxr {

int mulDivRound(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = (c < 0 ? -c : c) / 2;
  const bool negative = (p < 0) != (c < 0);
  const std::int64_t q = ((p < 0 ? -p : p) + half) / (c < 0 ? -c : c);
  return static_cast<int>(negative ? -q : q);
}

int averageCharWidth(int alphabetWidth) { return alphabetWidth / 52; }

DialogUnits dialogUnits(int cx, int cy) {
  DialogUnits u;
  u.horzMargin = mulDivRound(16, cx, 4);
  u.vertMargin = mulDivRound(16, cy, 8);
  u.horzSpacing = mulDivRound(20, cx, 4);
  u.vertSpacing = mulDivRound(20, cy, 8);
  u.buttonWidth = mulDivRound(60, cx, 4);
  u.buttonHeight = mulDivRound(14, cy, 8);
  u.buttonSpacing = mulDivRound(4, cx, 4);
  return u;
}

DialogLayout layoutMessageDialog(const DialogUnits& u, int textWidth, int textHeight, bool hasIcon,
                                 int buttonCount, int screenWidth, int screenHeight, int frameWidth,
                                 int frameHeight) {
  DialogLayout l;
  int blockWidth = textWidth;
  int blockHeight = textHeight;
  if (hasIcon) {
    blockWidth = textWidth + kDialogIconSize + u.horzSpacing;
    blockHeight = std::max(textHeight, kDialogIconSize);
  }
  const int n = std::max(buttonCount, 0);
  const int buttonsWidth = n == 0 ? 0 : n * u.buttonWidth + (n - 1) * u.buttonSpacing;
  l.clientWidth = std::max(blockWidth, buttonsWidth) + 2 * u.horzMargin;
  l.clientHeight = blockHeight + u.buttonHeight + u.vertSpacing + 2 * u.vertMargin;
  const int windowWidth = l.clientWidth + frameWidth;
  const int windowHeight = l.clientHeight + frameHeight;
  l.windowLeft = screenWidth / 2 - windowWidth / 2;
  l.windowTop = screenHeight / 2 - windowHeight / 2;
  if (hasIcon) l.icon = {u.horzMargin, u.vertMargin, kDialogIconSize, kDialogIconSize};
  l.message = {blockWidth + u.horzMargin - textWidth, u.vertMargin, textWidth, textHeight};
  int x = (l.clientWidth - buttonsWidth) / 2;
  const int y = blockHeight + u.vertMargin + u.vertSpacing;
  for (int i = 0; i < n; ++i) {
    l.buttons.push_back({x, y, u.buttonWidth, u.buttonHeight});
    x += u.buttonWidth + u.buttonSpacing;
  }
  return l;
}

}  // namespace qxr
