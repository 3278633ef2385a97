#include <gtest/gtest.h>

#include "trends/MockTrends.h"

// Demonstration trend: a rising series ending at the current value, clamped at zero; failures have none.
TEST(MockTrends, RisingSeriesEndingAtTheCurrentValue) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  const UsageWindow window("seven_day", "주간", 21, now + Seconds(259200), 10080);
  const auto trend = MockTrends::make(ServiceID::claude, window, MockUsageProvider::Scenario::normal, now);
  EXPECT_EQ(trend.verdict, TrendVerdict::exhaustsBeforeReset(now + Seconds((100 - 21) / 2.4 * 3600), window.resetsAt));
  ASSERT_GT(trend.samples.size(), 2u);
  EXPECT_EQ(trend.samples.back(), (UsageSample{ServiceID::claude, window.id, 21, now}));
  for (std::size_t i = 1; i < trend.samples.size(); ++i) {
    EXPECT_LT(trend.samples[i - 1].at, trend.samples[i].at);
    EXPECT_GE(trend.samples[i - 1].usedPercent, 0);
  }
  EXPECT_EQ(MockTrends::make(ServiceID::claude, window, MockUsageProvider::Scenario::error, now),
            WindowTrend::insufficient(ServiceID::claude, window.id));
}
