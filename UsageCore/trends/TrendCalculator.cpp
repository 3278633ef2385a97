#include "trends/TrendCalculator.h"

#include <algorithm>
#include <cmath>

namespace TrendCalculator {

namespace {

constexpr double kSecondsPerHour = 3600;

// The calculator works on pointers into the caller's samples: long series are never copied.
using EntryRefs = std::vector<const HistorySample*>;

WindowTrend unknownWith(ServiceID service, const std::string& windowID, std::vector<UsageSample> samples) {
  auto trend = WindowTrend::insufficient(service, windowID);
  trend.samples = std::move(samples);
  return trend;
}

double secondsBetween(TimePoint from, TimePoint to) { return toEpochSeconds(to) - toEpochSeconds(from); }

std::vector<HistorySample> samplesOf(const std::vector<HistoryEntry>& entries) {
  std::vector<HistorySample> samples;
  samples.reserve(entries.size());
  for (const auto& entry : entries) samples.push_back(HistorySample::from(entry));
  return samples;
}

EntryRefs refsOf(const std::vector<HistorySample>& samples) {
  EntryRefs refs;
  refs.reserve(samples.size());
  for (const auto& sample : samples) refs.push_back(&sample);
  return refs;
}

// Index of the first entry of the current cycle.
std::size_t cycleStart(const EntryRefs& sorted, const Config& config) {
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
    const auto& previous = *sorted[i];
    const auto& next = *sorted[i + 1];
    const bool dropped = next.usedPercent <= previous.usedPercent - config.cycleDropThreshold;
    const bool resetMoved = !std::isnan(previous.resetsAt) && !std::isnan(next.resetsAt) &&
                            next.resetsAt - previous.resetsAt > config.cycleResetAdvance;
    if (dropped || resetMoved) start = i + 1;
  }
  return start;
}

std::optional<std::pair<double, double>> fitSlope(EntryRefs::const_iterator first, EntryRefs::const_iterator last,
                                                  const Config& config) {
  const auto n = static_cast<std::size_t>(last - first);
  const auto limit = static_cast<std::size_t>(std::max(config.maxSlopeSamples, 2));
  EntryRefs points;
  if (n > limit) {
    // Evenly spread picks; the first and the last entry are always among them.
    points.reserve(limit);
    for (std::size_t k = 0; k < limit; ++k) {
      const double position = static_cast<double>(k) * static_cast<double>(n - 1) / static_cast<double>(limit - 1);
      points.push_back(first[static_cast<std::ptrdiff_t>(std::round(position))]);
    }
  } else {
    points.assign(first, last);
  }

  std::vector<double> slopes;
  slopes.reserve(points.size() * points.size() / 2);
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (std::size_t j = i + 1; j < points.size(); ++j) {
      const double dt = points[j]->at - points[i]->at;
      // dt > 0 also keeps a zero minimum gap from dividing by zero.
      if (dt >= config.minPairGap && dt > 0) {
        slopes.push_back((points[j]->usedPercent - points[i]->usedPercent) / (dt / kSecondsPerHour));
      }
    }
  }
  if (slopes.empty()) return std::nullopt;
  std::sort(slopes.begin(), slopes.end());
  return std::make_pair(quantile(slopes, 0.5), quantile(slopes, 0.75) - quantile(slopes, 0.25));
}

// `selected`: the window's usable samples, in any order.
WindowTrend computeFrom(ServiceID service, const std::string& windowID, EntryRefs selected,
                        std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes, TimePoint now,
                        const Config& config) {
  if (selected.empty()) return WindowTrend::insufficient(service, windowID);
  std::stable_sort(selected.begin(), selected.end(),
                   [](const HistorySample* a, const HistorySample* b) { return a->at < b->at; });

  const HistorySample& latest = *selected.back();
  const std::optional<TimePoint> reset = resetsAt ? resetsAt : latest.reset();
  // The window has reset since the data was taken.
  if (reset && *reset <= now) return WindowTrend::insufficient(service, windowID);
  // The stored samples belong to an earlier cycle.
  if (resetsAt && latest.reset() && toEpochSeconds(*resetsAt) - latest.resetsAt > config.cycleResetAdvance) {
    return WindowTrend::insufficient(service, windowID);
  }

  const auto cycle = selected.cbegin() + static_cast<std::ptrdiff_t>(cycleStart(selected, config));
  std::vector<UsageSample> samples;
  samples.reserve(static_cast<std::size_t>(selected.cend() - cycle));
  for (auto it = cycle; it != selected.cend(); ++it) {
    samples.push_back({service, windowID, (*it)->usedPercent, (*it)->time()});
  }

  if (secondsBetween(latest.time(), now) > config.maxStaleness) {
    return unknownWith(service, windowID, std::move(samples));
  }

  if (latest.usedPercent >= 99.99) {
    auto trend = unknownWith(service, windowID, std::move(samples));
    trend.verdict = TrendVerdict::alreadyFull();
    trend.confidence = TrendConfidence::ok;
    return trend;
  }

  const double lookback =
      windowMinutes.value_or(0) <= config.shortWindowMinutes ? config.shortLookback : config.longLookback;
  const double cutoff = latest.at - lookback;
  const auto recent = std::find_if(cycle, selected.cend(), [&](const HistorySample* e) { return e->at >= cutoff; });
  const auto n = static_cast<int>(selected.cend() - recent);
  const double span = n == 0 ? 0 : latest.at - (*recent)->at;
  if (n < config.minSamples || span < config.minSpan) return unknownWith(service, windowID, std::move(samples));
  const auto fit = fitSlope(recent, selected.cend(), config);
  if (!fit) return unknownWith(service, windowID, std::move(samples));

  const double rate = std::max(fit->first, 0.0);
  const double iqr = fit->second;
  const bool low = n < config.okMinSamples || span < config.okMinSpan || rate * 0.5 < iqr;

  TrendVerdict verdict;
  if (rate < config.minRisingRate) {
    verdict = TrendVerdict::idle();
  } else {
    const TimePoint fullAt = now + Seconds((100 - latest.usedPercent) / rate * kSecondsPerHour);
    if (reset) {
      verdict = fullAt < *reset ? TrendVerdict::exhaustsBeforeReset(fullAt, reset) : TrendVerdict::onTrack(reset);
    } else if (!windowMinutes) {
      verdict = TrendVerdict::exhaustsBeforeReset(fullAt, std::nullopt);
    } else if (fullAt > now + Seconds(*windowMinutes * 60.0)) {
      verdict = TrendVerdict::onTrack(std::nullopt);
    } else {
      verdict = TrendVerdict::exhaustsBeforeReset(fullAt, std::nullopt);
    }
  }
  return {service, windowID, std::move(samples), rate, verdict, low ? TrendConfidence::low : TrendConfidence::ok};
}

}  // namespace

WindowTrend compute(ServiceID service, const std::string& windowID, const std::vector<HistoryEntry>& entries,
                    std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes, TimePoint now,
                    const Config& config) {
  std::vector<HistoryEntry> matching;
  for (const auto& entry : entries) {
    if (entry.service == service && entry.windowID == windowID) matching.push_back(entry);
  }
  const std::vector<HistorySample> samples = samplesOf(matching);
  return compute(service, windowID, samples.data(), samples.data() + samples.size(), resetsAt, windowMinutes, now,
                 config);
}

WindowTrend compute(ServiceID service, const std::string& windowID, const HistorySeries& series,
                    std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes, TimePoint now,
                    const Config& config) {
  return compute(service, windowID, series.begin(), series.end(), resetsAt, windowMinutes, now, config);
}

WindowTrend compute(ServiceID service, const std::string& windowID, const HistorySample* first,
                    const HistorySample* last, std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes,
                    TimePoint now, const Config& config) {
  const double horizon = toEpochSeconds(now) + config.futureTolerance;
  EntryRefs selected;
  for (const HistorySample* sample = first; sample != last; ++sample) {
    // A sample without a real (finite) time has no place in the series.
    if (std::isfinite(sample->usedPercent) && std::isfinite(sample->at) && sample->at <= horizon) {
      selected.push_back(sample);
    }
  }
  return computeFrom(service, windowID, std::move(selected), resetsAt, windowMinutes, now, config);
}

std::vector<HistoryEntry> currentCycle(const std::vector<HistoryEntry>& sorted, const Config& config) {
  const auto samples = samplesOf(sorted);
  const auto start = cycleStart(refsOf(samples), config);
  return {sorted.begin() + static_cast<std::ptrdiff_t>(start), sorted.end()};
}

std::optional<std::pair<double, double>> theilSen(const std::vector<HistoryEntry>& sorted, const Config& config) {
  const auto samples = samplesOf(sorted);
  const auto refs = refsOf(samples);
  return fitSlope(refs.cbegin(), refs.cend(), config);
}

double quantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return std::nan("");
  q = std::clamp(std::isnan(q) ? 0.0 : q, 0.0, 1.0);
  const double position = q * static_cast<double>(sorted.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(position));
  const auto hi = static_cast<std::size_t>(std::ceil(position));
  return sorted[lo] + (position - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

}  // namespace TrendCalculator
