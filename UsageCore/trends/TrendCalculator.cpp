#include "trends/TrendCalculator.h"

#include <algorithm>
#include <cmath>

namespace TrendCalculator {

namespace {

constexpr double kSecondsPerHour = 3600;

// The calculator reads samples through `get(i)`, i in [0, n), ascending by time: an in-order series
// is read in place, anything else through a sorted list of pointers. Long series are never copied.
template <typename Get>
struct Sorted {
  std::size_t n;
  Get get;
  const HistorySample& operator[](std::size_t i) const { return get(i); }
};
template <typename Get>
Sorted(std::size_t, Get) -> Sorted<Get>;

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

// Index of the first entry of the current cycle.
template <typename S>
std::size_t cycleStart(const S& sorted, std::size_t begin, const Config& config) {
  std::size_t start = begin;
  for (std::size_t i = begin; i + 1 < sorted.n; ++i) {
    const auto& previous = sorted[i];
    const auto& next = sorted[i + 1];
    const bool dropped = next.usedPercent <= previous.usedPercent - config.cycleDropThreshold;
    const bool resetMoved = !std::isnan(previous.resetsAt) && !std::isnan(next.resetsAt) &&
                            next.resetsAt - previous.resetsAt > config.cycleResetAdvance;
    if (dropped || resetMoved) start = i + 1;
  }
  return start;
}

// Samples [first, n) of `sorted`.
template <typename S>
std::optional<std::pair<double, double>> fitSlope(const S& sorted, std::size_t first, const Config& config) {
  const std::size_t n = sorted.n - first;
  const auto limit = static_cast<std::size_t>(std::max(config.maxSlopeSamples, 2));
  std::vector<const HistorySample*> points;
  points.reserve(std::min(n, limit));
  if (n > limit) {
    // Evenly spread picks; the first and the last entry are always among them.
    for (std::size_t k = 0; k < limit; ++k) {
      const double position = static_cast<double>(k) * static_cast<double>(n - 1) / static_cast<double>(limit - 1);
      points.push_back(&sorted[first + static_cast<std::size_t>(std::round(position))]);
    }
  } else {
    for (std::size_t i = first; i < sorted.n; ++i) points.push_back(&sorted[i]);
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

// `sorted`: the window's usable samples, ascending by time.
template <typename S>
WindowTrend computeSorted(ServiceID service, const std::string& windowID, const S& sorted,
                          std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes, TimePoint now,
                          const Config& config) {
  if (sorted.n == 0) return WindowTrend::insufficient(service, windowID);

  const HistorySample& latest = sorted[sorted.n - 1];
  const std::optional<TimePoint> reset = resetsAt ? resetsAt : latest.reset();
  // The window has reset since the data was taken.
  if (reset && *reset <= now) return WindowTrend::insufficient(service, windowID);
  // The stored samples belong to an earlier cycle.
  if (resetsAt && latest.reset() && toEpochSeconds(*resetsAt) - latest.resetsAt > config.cycleResetAdvance) {
    return WindowTrend::insufficient(service, windowID);
  }

  const std::size_t cycle = cycleStart(sorted, 0, config);
  std::vector<UsageSample> samples;
  samples.reserve(sorted.n - cycle);
  for (std::size_t i = cycle; i < sorted.n; ++i) {
    samples.push_back({service, windowID, sorted[i].usedPercent, sorted[i].time()});
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
  std::size_t recent = cycle;
  while (recent < sorted.n && sorted[recent].at < cutoff) ++recent;
  const auto n = static_cast<int>(sorted.n - recent);
  const double span = n == 0 ? 0 : latest.at - sorted[recent].at;
  if (n < config.minSamples || span < config.minSpan) return unknownWith(service, windowID, std::move(samples));
  const auto fit = fitSlope(sorted, recent, config);
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
  std::vector<HistorySample> samples;
  for (const auto& entry : entries) {
    if (entry.service == service && entry.windowID == windowID) samples.push_back(HistorySample::from(entry));
  }
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
  // A sample without a real (finite) time has no place in the series.
  const auto usable = [&](const HistorySample& sample) {
    return std::isfinite(sample.usedPercent) && std::isfinite(sample.at) && sample.at <= horizon;
  };
  // Stored series are in time order: then the usable samples are a prefix (later ones lie beyond
  // the horizon) and are read where they are.
  const auto count = static_cast<std::size_t>(last - first);
  bool inOrder = true;
  for (std::size_t i = 0; i < count && inOrder; ++i) {
    inOrder =
        std::isfinite(first[i].usedPercent) && std::isfinite(first[i].at) && (i == 0 || first[i - 1].at <= first[i].at);
  }
  if (inOrder) {
    std::size_t end = count;
    while (end > 0 && !usable(first[end - 1])) --end;
    return computeSorted(service, windowID,
                         Sorted{end, [first](std::size_t i) -> const HistorySample& { return first[i]; }}, resetsAt,
                         windowMinutes, now, config);
  }
  std::vector<const HistorySample*> selected;
  for (const HistorySample* sample = first; sample != last; ++sample) {
    if (usable(*sample)) selected.push_back(sample);
  }
  std::stable_sort(selected.begin(), selected.end(),
                   [](const HistorySample* a, const HistorySample* b) { return a->at < b->at; });
  return computeSorted(
      service, windowID,
      Sorted{selected.size(), [&selected](std::size_t i) -> const HistorySample& { return *selected[i]; }}, resetsAt,
      windowMinutes, now, config);
}

std::vector<HistoryEntry> currentCycle(const std::vector<HistoryEntry>& sorted, const Config& config) {
  const auto samples = samplesOf(sorted);
  const auto start =
      cycleStart(Sorted{samples.size(), [&](std::size_t i) -> const HistorySample& { return samples[i]; }}, 0, config);
  return {sorted.begin() + static_cast<std::ptrdiff_t>(start), sorted.end()};
}

std::optional<std::pair<double, double>> theilSen(const std::vector<HistoryEntry>& sorted, const Config& config) {
  const auto samples = samplesOf(sorted);
  return fitSlope(Sorted{samples.size(), [&](std::size_t i) -> const HistorySample& { return samples[i]; }}, 0, config);
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
