#include "scenarios/DevTrends.h"

#include <vector>

namespace DevTrends {

namespace {

// n samples, the first `hours` before now and the last at now.
std::vector<UsageSample> spread(ServiceID service, const std::string& windowID, const std::vector<double>& values,
                                double hours, TimePoint now) {
  std::vector<UsageSample> samples;
  const auto n = values.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double fraction = n > 1 ? 1.0 - double(i) / double(n - 1) : 0.0;
    samples.push_back({service, windowID, values[i], now - Seconds(hours * fraction * 3600)});
  }
  return samples;
}

}  // namespace

WindowTrend make(ServiceID service, const UsageWindow& window, bool historyEnabled, TimePoint now) {
  if (!historyEnabled) return WindowTrend::insufficient(service, window.id);
  const auto& id = window.id;
  WindowTrend trend{service, id, {}, std::nullopt, TrendVerdict::unknown(), TrendConfidence::insufficient};

  if (id == "five_hour") {
    trend.samples = spread(service, id, {41, 52, 60, 71, 78, 86, 93, 99, 100, 100}, 3.9, now);
    trend.ratePerHour = 15;
    trend.verdict = TrendVerdict::alreadyFull();
    trend.confidence = TrendConfidence::ok;
  } else if (id == "seven_day") {
    trend.samples = spread(service, id, {58, 60, 61, 63, 64}, 5, now);
    trend.ratePerHour = 1.2;
    const TimePoint fullAt = now + Seconds((100 - window.usedPercent) / 1.2 * 3600);
    trend.verdict = TrendVerdict::exhaustsBeforeReset(fullAt, window.resetsAt);
    trend.confidence = TrendConfidence::low;
  } else if (id == "seven_day_opus") {
    trend.samples = spread(service, id, std::vector<double>(12, 12), 10, now);
    trend.ratePerHour = 0;
    trend.verdict = TrendVerdict::idle();
    trend.confidence = TrendConfidence::ok;
  } else if (id == "codex_secondary") {
    trend.samples = spread(service, id, {11, 13, 16, 18}, 1.2, now);
    trend.ratePerHour = 5.5;
    trend.verdict = TrendVerdict::onTrack(window.resetsAt);
    trend.confidence = TrendConfidence::low;
  } else {
    trend.samples = {{service, id, 29, now - Seconds(720)}, {service, id, 30, now}};
  }
  return trend;
}

}  // namespace DevTrends
