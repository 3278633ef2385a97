#include <gtest/gtest.h>

#include <set>

#include "scenarios/DevTrends.h"
#include "scenarios/TrendShowcaseProvider.h"

TEST(DevTrends, ShowcaseWindowsShowEveryKindOfForecastEndingAtTheirValue) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  std::set<TrendVerdict::Kind> kinds;
  for (const auto service : ServiceIDs::allCases) {
    for (const auto& window : TrendShowcaseProvider::usage(service, now).windows) {
      SCOPED_TRACE(window.id);
      const auto trend = DevTrends::make(service, window, true, now);
      kinds.insert(trend.verdict.kind);
      // The sparkline must end at the value the row shows.
      ASSERT_GE(trend.samples.size(), 2u);
      EXPECT_EQ(trend.samples.back(), (UsageSample{service, window.id, window.usedPercent, now}));
      if (trend.verdict.fullAt) {
        EXPECT_LT(trend.verdict.fullAt, window.resetsAt);
      }
      // With history off nothing is made up.
      EXPECT_EQ(DevTrends::make(service, window, false, now), WindowTrend::insufficient(service, window.id));
    }
  }
  EXPECT_EQ(kinds.size(), 5u);
}
