#include <gtest/gtest.h>

#include <cmath>

#include "settings/UsageLevel.h"

TEST(UsageLevel, BoundariesCountAsTheHigherLevelOnTheUnroundedValue) {
  EXPECT_EQ(levelOf(70.0, {70, 90}), UsageLevel::warning);
  EXPECT_EQ(levelOf(std::nextafter(70.0, 0.0), {70, 90}), UsageLevel::normal);
  EXPECT_EQ(levelOf(90.0, {70, 90}), UsageLevel::critical);
  // Shown as 85%, yet below a critical threshold of 85.
  EXPECT_EQ(levelOf(84.6, {80, 85}), UsageLevel::warning);
}

TEST(UsageLevel, FreshForThreeIntervalsButAtLeastFifteenMinutes) {
  const TimePoint fetched = fromEpochSeconds(1'763'000'000.0);
  const auto fresh = [&](double age, double interval) { return isFresh(fetched, fetched + Seconds(age), interval); };
  EXPECT_TRUE(fresh(900, 120));
  EXPECT_FALSE(fresh(901, 120));
  EXPECT_TRUE(fresh(1800, 600));
  EXPECT_FALSE(fresh(1801, 600));
  EXPECT_TRUE(fresh(-30, 120));  // stamped slightly ahead (clock skew)
}
