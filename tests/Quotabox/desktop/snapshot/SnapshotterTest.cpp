#include <gtest/gtest.h>

#include "snapshot/Snapshotter.h"

TEST(SnapshotterTintTest, OnlyTheShapeTakesTheColourAndKeepsItsCoverage) {
  QImage shape(8, 4, QImage::Format_ARGB32_Premultiplied);
  shape.setDevicePixelRatio(2);
  shape.fill(Qt::transparent);
  shape.setPixelColor(1, 1, QColor(0, 0, 0, 255));
  shape.setPixelColor(2, 1, QColor(0, 0, 0, 128));

  const QImage white = Snapshotter::tinted(shape, Qt::white);
  EXPECT_TRUE(white.size() == shape.size() && white.devicePixelRatio() == 2);
  EXPECT_EQ(white.pixelColor(1, 1), QColor(255, 255, 255, 255));
  const QColor half = white.pixelColor(2, 1);
  EXPECT_NEAR(half.alpha(), 128, 1);
  EXPECT_GE(half.red(), 250);
  EXPECT_EQ(white.pixelColor(0, 0).alpha(), 0);
}
