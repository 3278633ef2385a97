#include "trends/MockTrends.h"

#include <algorithm>
#include <cmath>

namespace MockTrends {

WindowTrend make(ServiceID service, const UsageWindow& window, MockUsageProvider::Scenario scenario, TimePoint now) {
  using Scenario = MockUsageProvider::Scenario;
  if (scenario == Scenario::notSignedIn || scenario == Scenario::error) {
    return WindowTrend::insufficient(service, window.id);
  }

  const double hours = window.windowMinutes ? *window.windowMinutes / 60.0 : 5.0;
  const double span = std::min(hours, 24.0);
  const double rate = scenario == Scenario::high ? 9.0 : 2.4;
  const double current = window.usedPercent;

  constexpr int kCount = 36;
  std::vector<UsageSample> samples;
  samples.reserve(kCount);
  for (int i = 0; i < kCount; ++i) {
    const double f = 1.0 - i / double(kCount - 1);
    const bool last = i == kCount - 1;
    double value = current - 0.5 * span * rate * f;
    if (!last) value += 0.8 * std::sin(1.7 * i);
    const TimePoint at = last ? now : now - Seconds(span * f * 3600);
    samples.push_back({service, window.id, last ? current : std::clamp(value, 0.0, 100.0), at});
  }

  const TimePoint fullAt = now + Seconds((100 - current) / rate * 3600);
  const auto verdict = window.resetsAt && fullAt > *window.resetsAt
                           ? TrendVerdict::onTrack(window.resetsAt)
                           : TrendVerdict::exhaustsBeforeReset(fullAt, window.resetsAt);
  return {service, window.id, std::move(samples), rate, verdict, TrendConfidence::ok};
}

}  // namespace MockTrends
