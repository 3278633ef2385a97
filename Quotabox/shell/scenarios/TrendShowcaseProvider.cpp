#include "scenarios/TrendShowcaseProvider.h"

ServiceUsage TrendShowcaseProvider::usage(ServiceID service, TimePoint now) {
  ServiceUsage result;
  result.service = service;
  result.fetchedAt = now;
  result.status = ProviderStatus::ok();
  switch (service) {
    case ServiceID::claude:
      result.planName = "Max 5x";
      result.windows = {
          UsageWindow("five_hour", "5시간", 100, now + Seconds(3900), 300),
          UsageWindow("seven_day", "주간", 64, now + Seconds(190800), 10080),
          UsageWindow("seven_day_opus", "주간 (Opus)", 12, now + Seconds(190800), 10080),
      };
      break;
    case ServiceID::codex:
      result.planName = "Plus";
      result.windows = {
          UsageWindow("codex_secondary", "5시간", 18, now + Seconds(12000), 300),
          UsageWindow("codex_primary", "주간", 30, now + Seconds(432000), 10080),
      };
      break;
  }
  return result;
}
