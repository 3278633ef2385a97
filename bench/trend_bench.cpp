// Cost of one trend computation over stored series of growing length. The pairwise fit is bounded
// by subsampling, so 4000 samples should cost only a few times as much as 100.
#include <chrono>
#include <cstdio>
#include <vector>

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

double microsecondsPerCall(const std::vector<HistoryEntry>& entries) {
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
  const double ten = microsecondsPerCall(series(10, 0, 300));
  const double hundred = microsecondsPerCall(series(100, 0));
  const double full = microsecondsPerCall(series(4000, 0));
  const double cycles = microsecondsPerCall(series(4000, 40));
  std::printf("trend compute, 10 samples (5 min apart):    %9.1f us/call\n", ten);
  std::printf("trend compute, 100 samples:                 %9.1f us/call\n", hundred);
  std::printf("trend compute, 4000 samples:                %9.1f us/call\n", full);
  std::printf("trend compute, 4000 samples in 100 cycles:  %9.1f us/call\n", cycles);
  std::printf("ratio 4000 / 100: %.2f\n", full / hundred);
  std::printf("ratio 4000 in cycles / 100: %.2f\n", cycles / hundred);
  return 0;
}
