#include <gtest/gtest.h>

#include "tray/PopoverPlacement.h"
#include "tray/PopoverWindowFitter.h"

namespace {

// A 1280 x 800 screen whose top 30 pixels hold the panel.
const QRectF available(0, 30, 1280, 770);

}  // namespace

TEST(PopoverPlacementTest, TouchesThePointFromTheSideOfTheNearerScreenHalf) {
  struct Case {
    const char* name;
    QPointF point;
    QRectF frame;
    PopoverEdge edge;
  };
  const Case cases[] = {
      {"upper half opens below", {640, 30}, {460, 30, 360, 400}, PopoverEdge::top},
      {"lower half opens above", {640, 790}, {460, 390, 360, 400}, PopoverEdge::bottom},
      {"right corner is clamped", {1279, 30}, {920, 30, 360, 400}, PopoverEdge::top},
      {"left corner is clamped", {3, 790}, {0, 390, 360, 400}, PopoverEdge::bottom},
      {"point above the area is clamped down", {640, 5}, {460, 30, 360, 400}, PopoverEdge::top},
  };
  for (const Case& c : cases) {
    const PopoverPlacement placement = PopoverPlacement::place(c.point, {360, 400}, available);
    EXPECT_EQ(placement.frame, c.frame) << c.name;
    EXPECT_EQ(placement.fixedEdge, c.edge) << c.name;
  }
}

TEST(PopoverPlacementTest, ContentTallerThanTheAreaIsCutToIt) {
  const PopoverPlacement placement = PopoverPlacement::place({640, 30}, {360, 2000}, available);
  EXPECT_EQ(placement.frame, QRectF(460, 30, 360, 770));
}

TEST(PopoverWindowFitterTest, IgnoresFirstLayoutAndSubPixelChanges) {
  const QRectF frame(460, 30, 360, 400);
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 0, available, PopoverEdge::top));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 1, available, PopoverEdge::top));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 400.5, available, PopoverEdge::top));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 399.5, available, PopoverEdge::bottom));
  EXPECT_TRUE(PopoverWindowFitter::fit(frame, 400.6, available, PopoverEdge::top));
}

TEST(PopoverWindowFitterTest, KeepsTheTraySideEdgeWhileShrinkingAndGrowing) {
  const QRectF below(460, 30, 360, 400);
  EXPECT_EQ(PopoverWindowFitter::fit(below, 250, available, PopoverEdge::top), QRectF(460, 30, 360, 250));
  EXPECT_EQ(PopoverWindowFitter::fit(below, 600, available, PopoverEdge::top), QRectF(460, 30, 360, 600));

  const QRectF above(460, 390, 360, 400);  // bottom edge at 790
  EXPECT_EQ(PopoverWindowFitter::fit(above, 250, available, PopoverEdge::bottom), QRectF(460, 540, 360, 250));
  EXPECT_EQ(PopoverWindowFitter::fit(above, 600, available, PopoverEdge::bottom), QRectF(460, 190, 360, 600));
}

TEST(PopoverWindowFitterTest, NeverLeavesTheAvailableArea) {
  // Taller than the area: the window takes the whole height and the content scrolls.
  EXPECT_EQ(PopoverWindowFitter::fit({460, 30, 360, 400}, 5000, available, PopoverEdge::top),
            QRectF(460, 30, 360, 770));
  // Growing below would cross the bottom: the window moves up rather than leave the screen.
  EXPECT_EQ(PopoverWindowFitter::fit({460, 300, 360, 300}, 600, available, PopoverEdge::top),
            QRectF(460, 200, 360, 600));
  // Without a known area (the compositor places the window) only the height follows.
  EXPECT_EQ(PopoverWindowFitter::fit({0, 0, 360, 400}, 5000, QRectF(), PopoverEdge::top), QRectF(0, 0, 360, 5000));
}
