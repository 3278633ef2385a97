// Cost of one trend computation over stored series of growing length. The pairwise fit is bounded
// by subsampling, so 4000 samples should cost only a few times as much as 100.
#include <chrono>
#include <cstdio>
#include <vector>

#include "history/HistorySeries.h"
#include "trends/TrendCalculator.h"

namespace {

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

// Samples `gap` seconds apart up to now, rising; `cycleLength` > 0 restarts the share every that many samples.
std::vector<HistoryEntry> series(int count, int cycleLength, double gap = 60) {
  std::vector<HistoryEntry> entries;
  entries.reserve(count);
  for (int i = 0; i < count; ++i) {
    const int inCycle = cycleLength > 0 ? i % cycleLength : i;
    const double used = cycleLength > 0 ? inCycle * (90.0 / cycleLength) : 90.0 * i / count;
    entries.push_back({ServiceID::claude, "seven_day", used, kNow - Seconds(gap * (count - 1 - i)), std::nullopt});
  }
  return entries;
}

// The window's stored series, as the store hands it to the calculator.
HistorySeries stored(const std::vector<HistoryEntry>& entries) {
  HistorySeries::Samples samples;
  for (const auto& entry : entries) samples.push_back(HistorySample::from(entry));
  return HistorySeries(std::move(samples));
}

template <typename Series>
double microsecondsPerCall(const Series& entries) {
  using Clock = std::chrono::steady_clock;
  int calls = 0;
  double sink = 0;
  const auto start = Clock::now();
  auto elapsed = Clock::duration::zero();
  while (elapsed < std::chrono::milliseconds(300)) {
    const auto trend = TrendCalculator::compute(ServiceID::claude, "seven_day", entries, std::nullopt, 10080, kNow);
    sink += trend.ratePerHour.value_or(0) + static_cast<double>(trend.samples.size());
    ++calls;
    elapsed = Clock::now() - start;
  }
  if (sink < 0) std::puts("");  // keeps the work observable
  return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
}

}  // namespace

int main() {
  const double ten = microsecondsPerCall(stored(series(10, 0, 300)));
  const double hundred = microsecondsPerCall(stored(series(100, 0)));
  const double full = microsecondsPerCall(stored(series(4000, 0)));
  const double cycles = microsecondsPerCall(stored(series(4000, 40)));
  const double listHundred = microsecondsPerCall(series(100, 0));
  const double listFull = microsecondsPerCall(series(4000, 0));
  std::printf("trend compute over the stored series:\n");
  std::printf("  10 samples (5 min apart):     %9.1f us/call\n", ten);
  std::printf("  100 samples:                  %9.1f us/call\n", hundred);
  std::printf("  4000 samples:                 %9.1f us/call\n", full);
  std::printf("  4000 samples in 100 cycles:   %9.1f us/call\n", cycles);
  std::printf("trend compute over a list of entries (any order, other series mixed in):\n");
  std::printf("  100 samples:                  %9.1f us/call\n", listHundred);
  std::printf("  4000 samples:                 %9.1f us/call\n", listFull);
  std::printf("ratio 4000 / 100: %.2f (stored), %.2f (list)\n", full / hundred, listFull / listHundred);
  std::printf("ratio 4000 in cycles / 100: %.2f\n", cycles / hundred);
  const bool met = full <= 5 * hundred && cycles <= 5 * hundred;
  std::printf("budget 4000 samples at most 5x the cost of 100: %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
