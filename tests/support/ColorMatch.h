#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <algorithm>
#include <cstdlib>

// Whether two colours, alpha included, differ by at most `tolerance` in every channel.
inline ::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 3) {
  const int worst = std::max({std::abs(actual.red() - expected.red()), std::abs(actual.green() - expected.green()),
                              std::abs(actual.blue() - expected.blue()), std::abs(actual.alpha() - expected.alpha())});
  if (worst <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual.name(QColor::HexArgb).toStdString() << " is not "
                                       << expected.name(QColor::HexArgb).toStdString();
}
