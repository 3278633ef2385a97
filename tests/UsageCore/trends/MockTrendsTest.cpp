#include <gtest/gtest.h>

#include <tuple>

#include "trends/MockTrends.h"

namespace {

using Scenario = MockUsageProvider::Scenario;

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

TimePoint in(double seconds) { return kNow + Seconds(seconds); }

}  // namespace

TEST(MockTrends, RisingSeriesEndingAtTheCurrentValue) {
  const std::tuple<ServiceID, UsageWindow, TrendVerdict> cases[] = {
      {ServiceID::claude, UsageWindow("five_hour", "5시간", 38, in(8040), 300), TrendVerdict::onTrack(in(8040))},
      // A day-long span from 21% would start below zero: the bounds check sees the clamp.
      {ServiceID::claude, UsageWindow("seven_day", "주간", 21, in(259200), 10080),
       TrendVerdict::exhaustsBeforeReset(in((100 - 21) / 2.4 * 3600), in(259200))},
      // Without a reset time only the full time is known.
      {ServiceID::codex, UsageWindow("other", "기타", 50),
       TrendVerdict::exhaustsBeforeReset(in((100 - 50) / 2.4 * 3600), std::nullopt)},
  };
  for (const auto& [service, window, verdict] : cases) {
    SCOPED_TRACE(window.id);
    const auto trend = MockTrends::make(service, window, Scenario::normal, kNow);
    EXPECT_EQ(trend.ratePerHour, 2.4);
    EXPECT_EQ(trend.verdict, verdict);
    EXPECT_EQ(trend.confidence, TrendConfidence::ok);
    ASSERT_GT(trend.samples.size(), 2u);
    EXPECT_EQ(trend.samples.back(), (UsageSample{service, window.id, window.usedPercent, kNow}));
    for (std::size_t i = 1; i < trend.samples.size(); ++i) {
      EXPECT_LT(trend.samples[i - 1].at, trend.samples[i].at);
      EXPECT_TRUE(trend.samples[i - 1].usedPercent >= 0 && trend.samples[i - 1].usedPercent <= 100);
    }
    // Failure scenarios have no trend.
    for (const auto scenario : {Scenario::notSignedIn, Scenario::error}) {
      EXPECT_EQ(MockTrends::make(service, window, scenario, kNow), WindowTrend::insufficient(service, window.id));
    }
  }
}
