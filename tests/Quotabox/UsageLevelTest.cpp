#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

#include "UsageLevel.h"

TEST(UsageLevel, RawValuesAndOrder) {
  EXPECT_EQ(usageLevelFromRaw(0), UsageLevel::normal);
  EXPECT_EQ(usageLevelFromRaw(1), UsageLevel::warning);
  EXPECT_EQ(usageLevelFromRaw(2), UsageLevel::critical);
  EXPECT_EQ(usageLevelFromRaw(3), std::nullopt);
  EXPECT_EQ(usageLevelFromRaw(-1), std::nullopt);
  EXPECT_LT(UsageLevel::normal, UsageLevel::warning);
  EXPECT_GT(UsageLevel::critical, UsageLevel::warning);
  EXPECT_EQ(std::unordered_set<UsageLevel>({UsageLevel::warning, UsageLevel::warning}).size(), 1u);
}

TEST(UsageLevel, BoundariesCountAsTheHigherLevel) {
  const Thresholds defaults{70, 90};
  EXPECT_EQ(levelOf(70.0, defaults), UsageLevel::warning);
  EXPECT_EQ(levelOf(std::nextafter(70.0, 0.0), defaults), UsageLevel::normal);
  EXPECT_EQ(levelOf(89.99, defaults), UsageLevel::warning);
  EXPECT_EQ(levelOf(90.0, defaults), UsageLevel::critical);
  EXPECT_EQ(levelOf(0.0, defaults), UsageLevel::normal);
  EXPECT_EQ(levelOf(-5.0, defaults), UsageLevel::normal);
  EXPECT_EQ(levelOf(130.0, defaults), UsageLevel::critical);
}

TEST(UsageLevel, ComparesTheUnroundedValue) {
  // Shown as 85%, yet below a critical threshold of 85.
  EXPECT_EQ(levelOf(84.6, Thresholds{80, 85}), UsageLevel::warning);
  EXPECT_EQ(levelOf(49.5, Thresholds{50, 80}), UsageLevel::normal);
}

TEST(UsageLevel, ThresholdsCompareBothFields) {
  EXPECT_EQ((Thresholds{70, 90}), (Thresholds{70, 90}));
  EXPECT_NE((Thresholds{70, 90}), (Thresholds{70, 95}));
  EXPECT_NE((Thresholds{60, 90}), (Thresholds{70, 90}));
}

TEST(UsageLevel, FreshnessLimitIsThreeIntervalsButAtLeastFifteenMinutes) {
  const TimePoint fetched = fromEpochSeconds(1'763'000'000.0);
  const auto after = [&](double seconds) { return fetched + Seconds(seconds); };

  EXPECT_EQ(freshnessLimit(60), 900);
  EXPECT_EQ(freshnessLimit(120), 900);
  EXPECT_EQ(freshnessLimit(300), 900);
  EXPECT_EQ(freshnessLimit(600), 1800);
  EXPECT_EQ(freshnessLimit(900), 2700);

  EXPECT_TRUE(isFresh(fetched, after(900), 120));
  EXPECT_FALSE(isFresh(fetched, after(901), 120));
  EXPECT_TRUE(isFresh(fetched, after(1800), 600));
  EXPECT_FALSE(isFresh(fetched, after(1801), 600));
  EXPECT_FALSE(isFresh(fetched, after(900.001), 60));
  // Data stamped slightly in the future (clock skew) is fresh.
  EXPECT_TRUE(isFresh(fetched, after(-30), 120));
}
