#include "scenarios/RetainedMockProvider.h"

#include "mock/MockUsageProvider.h"

ServiceUsage RetainedMockProvider::usage(ServiceID service, TimePoint now) {
  auto result = MockUsageProvider::usage(service, MockUsageProvider::Scenario::normal, now);
  result.status = ProviderStatus::unavailable("네트워크에 연결할 수 없어요");
  result.fetchedAt = now - Seconds(600);
  return result;
}
