#include <gtest/gtest.h>

#include "mock/MockUsageProvider.h"
#include "scenarios/RetainedMockProvider.h"
#include "scenarios/StaleMockProvider.h"
#include "scenarios/TrendShowcaseProvider.h"

namespace {

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

ServiceUsage normal(ServiceID service) {
  return MockUsageProvider::usage(service, MockUsageProvider::Scenario::normal, kNow);
}

ServiceUsage ok(ServiceID service, std::string plan, std::vector<UsageWindow> windows) {
  return {service, std::move(plan), std::move(windows), {}, kNow, ProviderStatus::ok()};
}

}  // namespace

TEST(ScenarioProviders, StaleAndRetainedAreTheNormalValuesAltered) {
  // Stale: fetched three hours ago, and only Claude's 5-hour cycle ended forty minutes ago.
  auto stale = normal(ServiceID::claude);
  stale.fetchedAt = kNow - Seconds(10800);
  stale.windows[0].resetsAt = kNow - Seconds(2400);
  EXPECT_EQ(StaleMockProvider::usage(ServiceID::claude, kNow), stale);
  stale = normal(ServiceID::codex);
  stale.fetchedAt = kNow - Seconds(10800);
  EXPECT_EQ(StaleMockProvider::usage(ServiceID::codex, kNow), stale);

  // Retained: the last good values ten minutes old, with an unavailable status.
  for (const auto service : ServiceIDs::allCases) {
    auto retained = normal(service);
    retained.fetchedAt = kNow - Seconds(600);
    retained.status = ProviderStatus::unavailable("네트워크에 연결할 수 없어요");
    EXPECT_EQ(RetainedMockProvider::usage(service, kNow), retained);
  }
}

TEST(ScenarioProviders, TrendShowcaseWindows) {
  EXPECT_EQ(TrendShowcaseProvider::usage(ServiceID::claude, kNow),
            ok(ServiceID::claude, "Max 5x",
               {UsageWindow("five_hour", "5시간", 100, kNow + Seconds(3900), 300),
                UsageWindow("seven_day", "주간", 64, kNow + Seconds(190800), 10080),
                UsageWindow("seven_day_opus", "주간 (Opus)", 12, kNow + Seconds(190800), 10080)}));
  EXPECT_EQ(TrendShowcaseProvider::usage(ServiceID::codex, kNow),
            ok(ServiceID::codex, "Plus",
               {UsageWindow("codex_secondary", "5시간", 18, kNow + Seconds(12000), 300),
                UsageWindow("codex_primary", "주간", 30, kNow + Seconds(432000), 10080)}));
}
