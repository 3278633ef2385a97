#include <gtest/gtest.h>

#include <cmath>

#include "settings/UsageLevel.h"

TEST(UsageLevel, RawValuesOutsideTheEnumAreRejected) {
  EXPECT_EQ(usageLevelFromRaw(2), UsageLevel::critical);
  EXPECT_EQ(usageLevelFromRaw(3), std::nullopt);
  EXPECT_EQ(usageLevelFromRaw(-1), std::nullopt);
}

TEST(UsageLevel, BoundariesCountAsTheHigherLevelOnTheUnroundedValue) {
  const Thresholds defaults{70, 90};
  EXPECT_EQ(levelOf(70.0, defaults), UsageLevel::warning);
  EXPECT_EQ(levelOf(std::nextafter(70.0, 0.0), defaults), UsageLevel::normal);
  EXPECT_EQ(levelOf(89.99, defaults), UsageLevel::warning);
  EXPECT_EQ(levelOf(90.0, defaults), UsageLevel::critical);
  EXPECT_EQ(levelOf(130.0, defaults), UsageLevel::critical);
  // Shown as 85%, yet below a critical threshold of 85.
  EXPECT_EQ(levelOf(84.6, Thresholds{80, 85}), UsageLevel::warning);
}

TEST(UsageLevel, FreshForThreeIntervalsButAtLeastFifteenMinutes) {
  const TimePoint fetched = fromEpochSeconds(1'763'000'000.0);
  const auto after = [&](double seconds) { return fetched + Seconds(seconds); };
  EXPECT_TRUE(isFresh(fetched, after(900), 120));
  EXPECT_FALSE(isFresh(fetched, after(901), 120));
  EXPECT_TRUE(isFresh(fetched, after(1800), 600));
  EXPECT_FALSE(isFresh(fetched, after(1801), 600));
  // Data stamped slightly in the future (clock skew) is fresh.
  EXPECT_TRUE(isFresh(fetched, after(-30), 120));
}
