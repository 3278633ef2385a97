#include <gtest/gtest.h>

#include "mock/MockUsageProvider.h"
#include "scenarios/RetainedMockProvider.h"
#include "scenarios/StaleMockProvider.h"

TEST(ScenarioProviders, StaleAndRetainedAreTheNormalValuesAltered) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  for (const auto service : ServiceIDs::allCases) {
    SCOPED_TRACE(ServiceIDs::id(service));
    const auto normal = MockUsageProvider::usage(service, MockUsageProvider::Scenario::normal, now);
    // Stale: fetched three hours ago, and only Claude's 5-hour cycle ended forty minutes ago.
    auto stale = normal;
    stale.fetchedAt = now - Seconds(10800);
    if (service == ServiceID::claude) stale.windows[0].resetsAt = now - Seconds(2400);
    EXPECT_EQ(StaleMockProvider::usage(service, now), stale);
    // Retained: the last good values ten minutes old, with an unavailable status.
    auto retained = normal;
    retained.fetchedAt = now - Seconds(600);
    retained.status = ProviderStatus::unavailable("네트워크에 연결할 수 없어요");
    EXPECT_EQ(RetainedMockProvider::usage(service, now), retained);
  }
}
