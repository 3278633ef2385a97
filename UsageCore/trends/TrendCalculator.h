#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history/HistoryEntry.h"
#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "trends/WindowTrend.h"

// Forecasts how fast a window fills from its stored samples. Pure: no clock, no I/O.
namespace TrendCalculator {

struct Config {
  double cycleDropThreshold = 5.0;  // percent points; a fall this large starts a new cycle
  double cycleResetAdvance = 300;   // seconds; a later reset time by more than this starts a new cycle
  int minSamples = 3;
  double minSpan = 1200;         // seconds
  double shortLookback = 10800;  // seconds, for windows of at most shortWindowMinutes
  double longLookback = 86400;   // seconds, for longer windows
  int shortWindowMinutes = 720;
  double minPairGap = 300;  // seconds; closer pairs give no slope
  int maxSlopeSamples = 80;
  double minRisingRate = 0.1;  // percent per hour; below it the window is idle
  double maxStaleness = 1800;  // seconds
  int okMinSamples = 6;
  double okMinSpan = 2700;       // seconds
  double futureTolerance = 300;  // seconds; later entries are ignored

  static Config standard() { return {}; }
};

// The trend of one window. `entries` may be in any order and contain other series.
WindowTrend compute(ServiceID service, const std::string& windowID, const std::vector<HistoryEntry>& entries,
                    std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes, TimePoint now,
                    const Config& config = Config::standard());
// The same over the window's stored series, read in place.
WindowTrend compute(ServiceID service, const std::string& windowID, const HistorySeries& series,
                    std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes, TimePoint now,
                    const Config& config = Config::standard());
// The same over the samples [first, last) of the window, in any order.
WindowTrend compute(ServiceID service, const std::string& windowID, const HistorySample* first,
                    const HistorySample* last, std::optional<TimePoint> resetsAt, std::optional<int> windowMinutes,
                    TimePoint now, const Config& config = Config::standard());

// The suffix of `sorted` (ascending by time) that forms the current reset cycle.
std::vector<HistoryEntry> currentCycle(const std::vector<HistoryEntry>& sorted, const Config& config);

// Median of the pairwise slopes (percent per hour) and their inter-quartile range, or nothing when
// no pair is far enough apart. `sorted` is ascending by time.
std::optional<std::pair<double, double>> theilSen(const std::vector<HistoryEntry>& sorted, const Config& config);

// Linear interpolation between closest ranks of ascending values; q is clamped to 0...1.
// NaN for an empty list.
double quantile(const std::vector<double>& sorted, double q);

}  // namespace TrendCalculator
