#include <gtest/gtest.h>

#include <set>

#include "scenarios/DevTrends.h"
#include "scenarios/TrendShowcaseProvider.h"

TEST(DevTrends, ShowcaseWindowsShowEveryKindOfForecastEndingAtTheirValue) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  using Kind = TrendVerdict::Kind;
  std::set<Kind> kinds;
  for (const auto service : ServiceIDs::allCases) {
    for (const auto& window : TrendShowcaseProvider::usage(service, now).windows) {
      SCOPED_TRACE(window.id);
      const auto trend = DevTrends::make(service, window, true, now);
      kinds.insert(trend.verdict.kind);
      EXPECT_EQ(trend.confidence == TrendConfidence::insufficient, !trend.ratePerHour);
      // Evenly spaced samples that end at the window's value now.
      ASSERT_GE(trend.samples.size(), 2u);
      EXPECT_EQ(trend.samples.back(), (UsageSample{service, window.id, window.usedPercent, now}));
      const auto gap = [&](std::size_t i) { return (trend.samples[i].at - trend.samples[i - 1].at).count(); };
      EXPECT_GT(gap(1), 0);
      for (std::size_t i = 2; i < trend.samples.size(); ++i) EXPECT_NEAR(gap(i), gap(1), 1e-6);
      // Forecasts agree with the rate and the window's reset.
      if (trend.verdict.kind == Kind::exhaustsBeforeReset) {
        const auto fullAt = now + Seconds((100 - window.usedPercent) / trend.ratePerHour.value_or(0) * 3600);
        EXPECT_EQ(trend.verdict, TrendVerdict::exhaustsBeforeReset(fullAt, window.resetsAt));
        EXPECT_LT(fullAt, window.resetsAt);
      }
      if (trend.verdict.kind == Kind::onTrack) {
        EXPECT_EQ(trend.verdict.resetsAt, window.resetsAt);
      }
      // With history off nothing is made up.
      EXPECT_EQ(DevTrends::make(service, window, false, now), WindowTrend::insufficient(service, window.id));
    }
  }
  EXPECT_EQ(kinds.size(), 5u);
}
