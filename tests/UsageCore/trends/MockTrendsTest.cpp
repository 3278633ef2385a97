#include <gtest/gtest.h>

#include "mock/ScenarioTrends.h"
#include "trends/MockTrends.h"

namespace {

const TimePoint now = fromEpochSeconds(1'763'500'000);

WindowTrend scenarioTrend(MockUsageProvider::Scenario scenario, const UsageWindow& window) {
  const HistorySeries none;
  return ScenarioTrends(scenario).trend(
      {.service = ServiceID::claude, .windowID = window.id, .window = &window, .series = none, .now = now});
}

}  // namespace

// A made-up series rises to the current value at now; its rate decides the forecast.
TEST(MockTrends, SeriesEndsAtTheCurrentValueAndTheRateGivesTheVerdict) {
  const UsageWindow week("seven_day", "주간", 64, now + Seconds(53 * 3600), 10080);
  const auto trend = MockTrends::make(ServiceID::claude, week, {1.2, 5, 5, TrendConfidence::low, 0}, now);
  ASSERT_EQ(trend.samples.size(), 5u);
  EXPECT_EQ(trend.samples.front().at, now - Seconds(5 * 3600));
  EXPECT_NEAR(trend.samples.front().usedPercent, 58, 1e-9);
  EXPECT_EQ(trend.samples.back(), (UsageSample{ServiceID::claude, "seven_day", 64, now}));
  EXPECT_EQ(trend.verdict, TrendVerdict::exhaustsBeforeReset(now + Seconds(30 * 3600), week.resetsAt));
  EXPECT_EQ(trend.confidence, TrendConfidence::low);

  // Full after the reset, full already, or not rising at all.
  EXPECT_EQ(MockTrends::make(ServiceID::claude, week, {0.5, 5, 5}, now).verdict, TrendVerdict::onTrack(week.resetsAt));
  const UsageWindow full("five_hour", "5시간", 100, now + Seconds(3900), 300);
  EXPECT_EQ(MockTrends::make(ServiceID::claude, full, {15, 3.9, 10}, now).verdict, TrendVerdict::alreadyFull());
  const auto flat = MockTrends::make(ServiceID::claude, week, {0, 10, 12}, now);
  EXPECT_EQ(flat.verdict, TrendVerdict::idle());
  for (const auto& sample : flat.samples) EXPECT_EQ(sample.usedPercent, 64);

  const auto sparse = MockTrends::collecting(ServiceID::codex, UsageWindow("codex_primary", "주간", 30), now);
  ASSERT_EQ(sparse.samples.size(), 2u);
  EXPECT_EQ(sparse.samples.front().at, now - Seconds(720));
  EXPECT_EQ(sparse.verdict, TrendVerdict::unknown());
  EXPECT_EQ(sparse.confidence, TrendConfidence::insufficient);
  EXPECT_FALSE(sparse.ratePerHour);
}

// Scenario trends: a noisy series in time order, never below zero; none for scenarios without data.
TEST(MockTrends, ScenarioTrendsFollowTheScenario) {
  const UsageWindow window("seven_day", "주간", 21, now + Seconds(259200), 10080);
  const auto normal = scenarioTrend(MockUsageProvider::Scenario::normal, window);
  EXPECT_EQ(normal.verdict.kind, TrendVerdict::Kind::exhaustsBeforeReset);
  ASSERT_GT(normal.samples.size(), 2u);
  EXPECT_EQ(normal.samples.back(), (UsageSample{ServiceID::claude, window.id, 21, now}));
  for (std::size_t i = 1; i < normal.samples.size(); ++i) {
    EXPECT_LT(normal.samples[i - 1].at, normal.samples[i].at);
    EXPECT_GE(normal.samples[i - 1].usedPercent, 0);
  }
  EXPECT_GT(scenarioTrend(MockUsageProvider::Scenario::high, window).ratePerHour, normal.ratePerHour);
  EXPECT_EQ(scenarioTrend(MockUsageProvider::Scenario::error, window),
            WindowTrend::insufficient(ServiceID::claude, window.id));
  EXPECT_FALSE(ScenarioTrends(MockUsageProvider::Scenario::normal).keepsHistory());
}
