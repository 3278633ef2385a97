#include "trends/MockTrends.h"

#include <algorithm>
#include <cmath>

namespace MockTrends {

WindowTrend make(ServiceID service, const UsageWindow& window, const Shape& shape, TimePoint now) {
  const double current = window.usedPercent;
  const int count = std::max(shape.count, 2);
  std::vector<UsageSample> samples;
  samples.reserve(count);
  for (int i = 0; i < count; ++i) {
    const double f = 1.0 - i / double(count - 1);
    const bool last = i == count - 1;
    double value = current - shape.hours * shape.ratePerHour * f;
    if (!last) value += shape.wobble * std::sin(1.7 * i);
    const TimePoint at = last ? now : now - Seconds(shape.hours * f * 3600);
    samples.push_back({service, window.id, last ? current : std::clamp(value, 0.0, 100.0), at});
  }

  TrendVerdict verdict;
  if (current >= 100) {
    verdict = TrendVerdict::alreadyFull();
  } else if (shape.ratePerHour <= 0) {
    verdict = TrendVerdict::idle();
  } else {
    const TimePoint fullAt = now + Seconds((100 - current) / shape.ratePerHour * 3600);
    verdict = window.resetsAt && fullAt > *window.resetsAt ? TrendVerdict::onTrack(window.resetsAt)
                                                           : TrendVerdict::exhaustsBeforeReset(fullAt, window.resetsAt);
  }
  return {service, window.id, std::move(samples), std::max(shape.ratePerHour, 0.0), verdict, shape.confidence};
}

WindowTrend collecting(ServiceID service, const UsageWindow& window, TimePoint now) {
  const double current = window.usedPercent;
  WindowTrend trend = WindowTrend::insufficient(service, window.id);
  trend.samples = {{service, window.id, std::max(current - 1, 0.0), now - Seconds(720)},
                   {service, window.id, current, now}};
  return trend;
}

}  // namespace MockTrends
