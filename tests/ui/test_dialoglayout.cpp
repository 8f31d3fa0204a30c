// Geometry of the message dialog.
#include <gtest/gtest.h>

#include "app/dialoglayout.h"

namespace qxr {
namespace {

TEST(DialogLayout, DialogUnitsRoundToNearest) {
  // cx 7, cy 15: 16*15/8 = 30, 20*15/8 = 37.5 -> 38, 14*15/8 = 26.25 -> 26.
  const DialogUnits u = dialogUnits(7, 15);
  EXPECT_EQ(u.horzMargin, 28);
  EXPECT_EQ(u.vertMargin, 30);
  EXPECT_EQ(u.horzSpacing, 35);
  EXPECT_EQ(u.vertSpacing, 38);
  EXPECT_EQ(u.buttonWidth, 105);
  EXPECT_EQ(u.buttonHeight, 26);
  EXPECT_EQ(u.buttonSpacing, 7);
  EXPECT_EQ(mulDivRound(5, 3, 2), 8);    // 7.5 rounds up
  EXPECT_EQ(mulDivRound(-5, 3, 2), -8);  // and away from zero below it
  EXPECT_EQ(averageCharWidth(52 * 7 + 51), 7);
}

TEST(DialogLayout, NarrowMessageTakesTheButtonRowWidthAndStartsAfterTheIcon) {
  const DialogUnits u = dialogUnits(7, 15);
  // Two buttons: 2*105 + 7 = 217, wider than icon + spacing + text (32+35+40).
  const DialogLayout with = layoutMessageDialog(u, 40, 15, true, 2, 1280, 800);
  EXPECT_EQ(with.clientWidth, 217 + 2 * 28);
  EXPECT_EQ(with.message.left, 28 + 32 + 35);
  EXPECT_EQ(with.icon, (DialogRect{28, 30, 32, 32}));
  // The icon keeps the block at least 32 high: buttons below 32 + margin + spacing.
  EXPECT_EQ(with.clientHeight, 32 + 26 + 38 + 2 * 30);
  ASSERT_EQ(with.buttons.size(), 2u);
  EXPECT_EQ(with.buttons[0], (DialogRect{(273 - 217) / 2, 32 + 30 + 38, 105, 26}));
  EXPECT_EQ(with.buttons[1].left, with.buttons[0].left + 105 + 7);

  const DialogLayout without = layoutMessageDialog(u, 40, 15, false, 1, 1280, 800);
  EXPECT_EQ(without.message.left, 28);  // at the left margin
  EXPECT_EQ(without.icon, DialogRect{});
  EXPECT_EQ(without.clientWidth, 105 + 2 * 28);
  EXPECT_EQ(without.clientHeight, 15 + 26 + 38 + 2 * 30);
  // (161 - 105) / 2 = 28.
  EXPECT_EQ(without.buttons[0].left, 28);
}

TEST(DialogLayout, WideTallMessageSetsTheSizeAndTheWindowIsCentred) {
  const DialogUnits u = dialogUnits(7, 15);
  const DialogLayout l = layoutMessageDialog(u, 600, 90, true, 1, 1281, 801, 4, 25);
  EXPECT_EQ(l.clientWidth, 600 + 32 + 35 + 56);
  EXPECT_EQ(l.clientHeight, 90 + 26 + 38 + 60);
  EXPECT_EQ(l.message, (DialogRect{28 + 32 + 35, 30, 600, 90}));
  // Halvings round toward zero: 1281/2 - (723+4)/2 = 640 - 363.
  EXPECT_EQ(l.windowLeft, 640 - 363);
  EXPECT_EQ(l.windowTop, 400 - (214 + 25) / 2);
  // A button row of an odd leftover width rounds toward zero.
  EXPECT_EQ(l.buttons[0].left, (723 - 105) / 2);
  EXPECT_TRUE(layoutMessageDialog(u, 10, 10, false, 0, 100, 100).buttons.empty());
}

}  // namespace
}  // namespace qxr
