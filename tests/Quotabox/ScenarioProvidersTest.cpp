#include <gtest/gtest.h>

#include <algorithm>

#include "MockUsageProvider.h"
#include "RetainedMockProvider.h"
#include "StaleMockProvider.h"
#include "TrendShowcaseProvider.h"

namespace {

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

bool hasMetric(const ServiceUsage& usage, const std::string& id) {
  return std::any_of(usage.metrics.begin(), usage.metrics.end(), [&](const UsageMetric& m) { return m.id == id; });
}

}  // namespace

TEST(StaleMockProvider, ClaudeFiveHourCycleEndedFortyMinutesAgo) {
  const auto usage = StaleMockProvider::usage(ServiceID::claude, kNow);
  EXPECT_TRUE(usage.status.isOk());
  EXPECT_EQ(usage.fetchedAt, kNow - Seconds(10800));
  ASSERT_NE(usage.window("five_hour"), nullptr);
  EXPECT_EQ(usage.window("five_hour")->resetsAt, kNow - Seconds(2400));
  EXPECT_EQ(usage.window("five_hour")->usedPercent, 38);
  // Other windows keep their normal reset times.
  ASSERT_NE(usage.window("seven_day"), nullptr);
  EXPECT_EQ(usage.window("seven_day")->resetsAt, kNow + Seconds(259200));

  const auto codex = StaleMockProvider::usage(ServiceID::codex, kNow);
  auto expected = MockUsageProvider::usage(ServiceID::codex, MockUsageProvider::Scenario::normal, kNow);
  expected.fetchedAt = kNow - Seconds(10800);
  EXPECT_EQ(codex, expected);
}

TEST(RetainedMockProvider, WindowsWithAnUnavailableStatus) {
  for (const auto service : ServiceIDs::allCases) {
    const auto usage = RetainedMockProvider::usage(service, kNow);
    const auto normal = MockUsageProvider::usage(service, MockUsageProvider::Scenario::normal, kNow);
    EXPECT_EQ(usage.status, ProviderStatus::unavailable("네트워크에 연결할 수 없어요"));
    EXPECT_EQ(usage.fetchedAt, kNow - Seconds(600));
    EXPECT_FALSE(usage.windows.empty());
    EXPECT_EQ(usage.windows, normal.windows);
    EXPECT_EQ(usage.planName, normal.planName);
    EXPECT_EQ(usage.metrics, normal.metrics);
    EXPECT_FALSE(hasMetric(usage, "stale"));
  }
}

TEST(TrendShowcaseProvider, WindowsOfTheShowcase) {
  const auto claude = TrendShowcaseProvider::usage(ServiceID::claude, kNow);
  EXPECT_EQ(claude.planName, "Max 5x");
  EXPECT_EQ(claude.windows, (std::vector<UsageWindow>{
                                UsageWindow("five_hour", "5시간", 100, kNow + Seconds(3900), 300),
                                UsageWindow("seven_day", "주간", 64, kNow + Seconds(190800), 10080),
                                UsageWindow("seven_day_opus", "주간 (Opus)", 12, kNow + Seconds(190800), 10080),
                            }));
  const auto codex = TrendShowcaseProvider::usage(ServiceID::codex, kNow);
  EXPECT_EQ(codex.planName, "Plus");
  EXPECT_EQ(codex.windows, (std::vector<UsageWindow>{
                               UsageWindow("codex_secondary", "5시간", 18, kNow + Seconds(12000), 300),
                               UsageWindow("codex_primary", "주간", 30, kNow + Seconds(432000), 10080),
                           }));
  for (const auto& usage : {claude, codex}) {
    EXPECT_TRUE(usage.status.isOk());
    EXPECT_TRUE(usage.metrics.empty());
    EXPECT_EQ(usage.fetchedAt, kNow);
  }
}
