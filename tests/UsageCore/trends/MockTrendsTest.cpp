#include <gtest/gtest.h>

#include "trends/MockTrends.h"

namespace {

using Scenario = MockUsageProvider::Scenario;

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

TimePoint in(double seconds) { return kNow + Seconds(seconds); }

}  // namespace

TEST(MockTrends, RisingSeriesEndingAtTheCurrentValue) {
  struct Case {
    ServiceID service;
    UsageWindow window;
    Scenario scenario;
    double hours, first, rate;  // span and first value (38 - 0.5 * 5 h * 2.4/h; no wobble at the start)
    TrendVerdict verdict;
  };
  const std::vector<Case> cases{
      {ServiceID::claude, UsageWindow("five_hour", "5시간", 38, in(8040), 300), Scenario::normal, 5, 32, 2.4,
       TrendVerdict::onTrack(in(8040))},
      // The span follows the window up to a day; values below zero are held at zero.
      {ServiceID::claude, UsageWindow("seven_day", "주간", 21, in(259200), 10080), Scenario::normal, 24, 0, 2.4,
       TrendVerdict::exhaustsBeforeReset(in((100 - 21) / 2.4 * 3600), in(259200))},
      // Without a reset time only the full time is known.
      {ServiceID::codex, UsageWindow("other", "기타", 50), Scenario::normal, 5, 44, 2.4,
       TrendVerdict::exhaustsBeforeReset(in((100 - 50) / 2.4 * 3600), std::nullopt)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.window.id + " " + std::to_string(c.window.usedPercent));
    const auto trend = MockTrends::make(c.service, c.window, c.scenario, kNow);
    EXPECT_EQ(trend.ratePerHour, c.rate);
    EXPECT_EQ(trend.verdict, c.verdict);
    EXPECT_EQ(trend.confidence, TrendConfidence::ok);
    ASSERT_EQ(trend.samples.size(), 36u);
    EXPECT_NEAR((toEpochSeconds(kNow) - toEpochSeconds(trend.samples.front().at)) / 3600, c.hours, 1e-9);
    EXPECT_DOUBLE_EQ(trend.samples.front().usedPercent, c.first);
    EXPECT_EQ(trend.samples.back(), (UsageSample{c.service, c.window.id, c.window.usedPercent, kNow}));
    for (std::size_t i = 1; i < trend.samples.size(); ++i) {
      EXPECT_LT(trend.samples[i - 1].at, trend.samples[i].at);
      EXPECT_TRUE(trend.samples[i].usedPercent >= 0 && trend.samples[i].usedPercent <= 100);
    }
    // Failure scenarios have no trend.
    for (const auto scenario : {Scenario::notSignedIn, Scenario::error}) {
      EXPECT_EQ(MockTrends::make(c.service, c.window, scenario, kNow),
                WindowTrend::insufficient(c.service, c.window.id));
    }
  }
}
