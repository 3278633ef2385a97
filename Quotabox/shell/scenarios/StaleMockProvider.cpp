#include "scenarios/StaleMockProvider.h"

#include "mock/MockUsageProvider.h"

ServiceUsage StaleMockProvider::usage(ServiceID service, TimePoint now) {
  auto result = MockUsageProvider::usage(service, MockUsageProvider::Scenario::normal, now);
  result.fetchedAt = now - Seconds(10800);
  for (auto& window : result.windows) {
    if (window.id == "five_hour") window.resetsAt = now - Seconds(2400);
  }
  return result;
}
