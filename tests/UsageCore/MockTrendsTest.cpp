#include <gtest/gtest.h>

#include <algorithm>

#include "MockTrends.h"

namespace {

using Scenario = MockUsageProvider::Scenario;

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

double hoursBefore(TimePoint t) { return (toEpochSeconds(kNow) - toEpochSeconds(t)) / 3600; }

}  // namespace

TEST(MockTrends, NormalFiveHourWindowRisesAtItsRateAndEndsAtTheCurrentValue) {
  const UsageWindow window("five_hour", "5시간", 38, kNow + Seconds(8040), 300);
  const auto trend = MockTrends::make(ServiceID::claude, window, Scenario::normal, kNow);

  ASSERT_EQ(trend.samples.size(), 36u);
  EXPECT_EQ(trend.windowID, "five_hour");
  EXPECT_NEAR(hoursBefore(trend.samples.front().at), 5, 1e-9);
  EXPECT_DOUBLE_EQ(trend.samples.front().usedPercent, 32);  // 38 - 0.5 * 5 h * 2.4/h, no wobble at i = 0
  EXPECT_EQ(trend.samples.back(), (UsageSample{ServiceID::claude, "five_hour", 38, kNow}));
  EXPECT_TRUE(std::is_sorted(trend.samples.begin(), trend.samples.end(),
                             [](const UsageSample& a, const UsageSample& b) { return a.at < b.at; }));
  EXPECT_EQ(trend.ratePerHour, 2.4);
  EXPECT_EQ(trend.confidence, TrendConfidence::ok);
  // Full in 62 / 2.4 h, well after the reset.
  EXPECT_EQ(trend.verdict, TrendVerdict::onTrack(kNow + Seconds(8040)));
}

TEST(MockTrends, HighScenarioExhaustsBeforeReset) {
  const UsageWindow window("five_hour", "5시간", 88, kNow + Seconds(8040), 300);
  const auto trend = MockTrends::make(ServiceID::claude, window, Scenario::high, kNow);
  EXPECT_EQ(trend.ratePerHour, 9.0);
  EXPECT_DOUBLE_EQ(trend.samples.front().usedPercent, 65.5);
  ASSERT_EQ(trend.verdict.kind, TrendVerdict::Kind::exhaustsBeforeReset);
  EXPECT_NEAR(hoursBefore(*trend.verdict.fullAt), -12.0 / 9, 1e-9);
  EXPECT_EQ(trend.verdict.resetsAt, kNow + Seconds(8040));

  // Without a reset time only the full time is known.
  const UsageWindow noReset("codex_primary", "주간", 92, std::nullopt, 10080);
  const auto open = MockTrends::make(ServiceID::codex, noReset, Scenario::high, kNow);
  ASSERT_EQ(open.verdict.kind, TrendVerdict::Kind::exhaustsBeforeReset);
  EXPECT_FALSE(open.verdict.resetsAt);
  EXPECT_EQ(open.service, ServiceID::codex);
}

TEST(MockTrends, SpanFollowsTheWindowLengthUpToADay) {
  const UsageWindow weekly("seven_day", "주간", 21, kNow + Seconds(259200), 10080);
  const auto trend = MockTrends::make(ServiceID::claude, weekly, Scenario::normal, kNow);
  EXPECT_NEAR(hoursBefore(trend.samples.front().at), 24, 1e-9);
  // 21 - 0.5 * 24 * 2.4 is below zero and is held at zero.
  EXPECT_EQ(trend.samples.front().usedPercent, 0);
  for (const auto& sample : trend.samples) {
    EXPECT_GE(sample.usedPercent, 0);
    EXPECT_LE(sample.usedPercent, 100);
  }

  const UsageWindow unknownLength("other", "기타", 50);
  EXPECT_NEAR(hoursBefore(MockTrends::make(ServiceID::claude, unknownLength, Scenario::normal, kNow).samples[0].at), 5,
              1e-9);
}

TEST(MockTrends, FailureScenariosHaveNoTrend) {
  const UsageWindow window("five_hour", "5시간", 38, kNow + Seconds(8040), 300);
  for (const auto scenario : {Scenario::notSignedIn, Scenario::error}) {
    EXPECT_EQ(MockTrends::make(ServiceID::claude, window, scenario, kNow),
              WindowTrend::insufficient(ServiceID::claude, "five_hour"));
  }
}
