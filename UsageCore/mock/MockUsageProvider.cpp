#include "mock/MockUsageProvider.h"

#include <algorithm>

namespace {

double scripted(double base, double step, bool high) { return std::min(base + (high ? step : 0.0), 100.0); }

}  // namespace

ServiceUsage MockUsageProvider::fetch(std::stop_token) { return usage(m_service, m_scenario.load(), systemNow()); }

ServiceUsage MockUsageProvider::usage(ServiceID service, Scenario scenario, TimePoint now) {
  switch (scenario) {
    case Scenario::notSignedIn:
      return ServiceUsage::failure(service, now, ProviderStatus::notSignedIn());
    case Scenario::error:
      return ServiceUsage::failure(service, now, ProviderStatus::unavailable("네트워크에 연결할 수 없어요"));
    case Scenario::normal:
    case Scenario::high:
      break;
  }

  const bool high = scenario == Scenario::high;
  ServiceUsage result;
  result.service = service;
  result.fetchedAt = now;
  result.status = ProviderStatus::ok();
  switch (service) {
    case ServiceID::claude:
      result.planName = "Max 5x";
      result.windows = {
          UsageWindow("five_hour", "5시간", scripted(38, 50, high), now + Seconds(8040), 300),
          UsageWindow("seven_day", "주간", scripted(21, 70, high), now + Seconds(259200), 10080),
          UsageWindow("seven_day_opus", "주간 (Opus)", scripted(9, 80, high), now + Seconds(259200), 10080),
      };
      break;
    case ServiceID::codex:
      result.planName = "Plus";
      result.windows = {UsageWindow("codex_primary", "주간", scripted(7, 85, high), now + Seconds(432000), 10080)};
      result.metrics = {UsageMetric{"credits", "크레딧", "—"}};
      break;
  }
  return result;
}
