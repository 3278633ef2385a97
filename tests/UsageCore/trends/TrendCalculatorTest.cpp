#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "trends/TrendCalculator.h"

namespace {

using TrendCalculator::Config;
using V = TrendVerdict;
using C = TrendConfidence;
using Points = std::vector<std::pair<double, double>>;  // (minutes before now, value), oldest first

const TimePoint kNow = fromEpochSeconds(1'763'500'000);
TimePoint inHours(double hours) { return kNow + Seconds(hours * 3600); }

HistoryEntry entry(double minutesBefore, double used, std::optional<TimePoint> resetsAt = std::nullopt,
                   const std::string& windowID = "five_hour", ServiceID service = ServiceID::claude) {
  return {service, windowID, used, kNow - Seconds(minutesBefore * 60), resetsAt};
}

std::vector<HistoryEntry> series(const Points& points, std::optional<TimePoint> resetsAt = std::nullopt) {
  std::vector<HistoryEntry> result;
  for (const auto& [minutes, used] : points) result.push_back(entry(minutes, used, resetsAt));
  return result;
}

// n samples evenly over the last `minutes`, rising by `step` from `from`.
std::vector<HistoryEntry> even(int n, double minutes, double from, double step) {
  Points points;
  for (int i = 0; i < n; ++i) points.push_back({minutes * (n - 1 - i) / (n - 1), from + step * i});
  return series(points);
}

WindowTrend compute(const std::vector<HistoryEntry>& entries, std::optional<TimePoint> resetsAt = std::nullopt,
                    std::optional<int> windowMinutes = 300) {
  return TrendCalculator::compute(ServiceID::claude, "five_hour", entries, resetsAt, windowMinutes, kNow);
}

auto fit(const Points& points, const Config& config = Config::standard()) {
  return TrendCalculator::theilSen(series(points), config);
}

}  // namespace

TEST(TrendTheilSen, HandWorkedFitsAndTheMinimumGap) {
  // Slopes 4, 3, 4, 2, 4, 5 per hour -> median 4, quartiles 3.25 and 4.
  EXPECT_EQ(fit({{120, 0}, {90, 2}, {60, 3}, {0, 8}}), std::make_pair(4.0, 0.75));
  // Pairs closer than five minutes give no slope.
  EXPECT_FALSE(fit({{299.0 / 60, 0}, {0, 5}}));
  EXPECT_DOUBLE_EQ(fit({{5, 0}, {0, 5}}).value_or(std::make_pair(0.0, 0.0)).first, 60);
  // Equal times with no minimum gap are skipped instead of dividing by zero.
  Config noGap;
  noGap.minPairGap = 0;
  EXPECT_FALSE(fit({{60, 0}, {60, 5}}, noGap));
}

TEST(TrendTheilSen, SubsamplingRoundsHalvesUpAndKeepsBothEnds) {
  // Six points down to three: positions 0, 2.5, 5 -> indices 0, 3, 5 (values 0, 6, 8).
  // Slopes 2, 1.6, 1: median 1.6, quartiles 1.3 and 1.8.
  Config three;
  three.maxSlopeSamples = 3;
  const auto picked = fit({{300, 0}, {240, 50}, {180, 0}, {120, 6}, {60, 50}, {0, 8}}, three);
  ASSERT_TRUE(picked);
  EXPECT_DOUBLE_EQ(picked->first, 1.6);
  EXPECT_NEAR(picked->second, 0.5, 1e-12);

  // 81 points, 79 of them too close together: slopes from the first are about 10/h, to the last
  // about 30/h, and first-to-last is the median only while both ends are kept.
  Points points{{7280.0 / 60, 0}};
  for (int i = 1; i <= 79; ++i) points.push_back({(3680.0 - i) / 60, 10});
  points.push_back({0, 40});
  EXPECT_NEAR(fit(points).value_or(std::make_pair(0.0, 0.0)).first, 40.0 / (7280.0 / 3600), 1e-9);
}

TEST(TrendCycle, DropOfFivePointsOrALaterResetStartsANewCycle) {
  const auto cycle = [](const std::vector<HistoryEntry>& e) { return TrendCalculator::currentCycle(e, {}); };
  EXPECT_EQ(cycle(series({{30, 40}, {20, 50}, {10, 45}, {0, 46}})).size(), 2u);
  EXPECT_EQ(cycle(series({{30, 40}, {20, 50}, {10, 45.1}, {0, 46}})).size(), 4u);
  EXPECT_EQ(cycle(series({{50, 80}, {40, 10}, {30, 60}, {20, 5}, {10, 6}})).size(), 2u);  // the last one wins

  const TimePoint reset = inHours(1);
  std::vector<HistoryEntry> resets{entry(30, 10, reset), entry(20, 11, reset + Seconds(300)),
                                   entry(10, 12, reset + Seconds(601)), entry(5, 13, reset + Seconds(601))};
  // +300 stays in the cycle, +301 more starts a new one.
  EXPECT_EQ(cycle(resets), std::vector<HistoryEntry>(resets.begin() + 2, resets.end()));
  resets[2].resetsAt.reset();  // only known reset times are compared
  EXPECT_EQ(cycle(resets).size(), 4u);
}

TEST(TrendCompute, ConfidenceFromCountSpanSpreadAndStaleness) {
  const std::vector<std::tuple<const char*, std::vector<HistoryEntry>, C, double>> cases{
      {"19 minutes", even(3, 19, 20, 2), C::insufficient, 0},
      {"two samples over an hour", even(2, 60, 20, 4), C::insufficient, 0},
      {"latest 31 minutes old", series({{91, 10}, {61, 20}, {31, 30}}), C::insufficient, 0},
      {"latest 30 minutes old", series({{90, 10}, {60, 20}, {30, 30}}), C::low, 20},
      {"three over 20 minutes", even(3, 20, 10, 1.5), C::low, 9},
      // An inter-quartile range of 8.4 is more than half the rate.
      {"erratic", series({{60, 10}, {50, 14}, {40, 11}, {30, 15}, {20, 12}, {10, 16}, {0, 13}}), C::low, 3},
      {"six over 40 minutes", even(6, 40, 10, 2), C::low, 15},
      {"six over 45 minutes", even(6, 45, 10, 2), C::ok, 40.0 / 3},
      {"five over an hour", even(5, 60, 10, 2), C::low, 8},
  };
  for (const auto& [name, entries, confidence, rate] : cases) {
    SCOPED_TRACE(name);
    const auto trend = compute(entries);
    EXPECT_EQ(trend.confidence, confidence);
    EXPECT_EQ(trend.samples.size(), entries.size());  // the sparkline keeps the cycle even without a forecast
    if (confidence == C::insufficient) {
      EXPECT_FALSE(trend.ratePerHour);
      EXPECT_EQ(trend.verdict, V::unknown());
    } else {
      EXPECT_NEAR(trend.ratePerHour.value_or(-1), rate, 1e-9);
    }
  }
  EXPECT_EQ(compute({}), WindowTrend::insufficient(ServiceID::claude, "five_hour"));
}

TEST(TrendCompute, Verdicts) {
  const auto verdict = [](const std::vector<HistoryEntry>& entries, std::optional<TimePoint> reset,
                          std::optional<int> minutes = 300) { return compute(entries, reset, minutes).verdict; };
  const auto rising = series({{60, 30}, {30, 35}, {0, 40}});  // 10 per hour, full in 6 h
  EXPECT_EQ(verdict(rising, inHours(7)), V::exhaustsBeforeReset(inHours(6), inHours(7)));
  EXPECT_EQ(verdict(rising, inHours(6)), V::onTrack(inHours(6)));  // full at the reset is not before it
  // Without a reset time the window's length is the horizon.
  EXPECT_EQ(verdict(rising, std::nullopt), V::onTrack(std::nullopt));
  EXPECT_EQ(verdict(series({{60, 50}, {30, 55}, {0, 60}}), std::nullopt),
            V::exhaustsBeforeReset(inHours(4), std::nullopt));
  EXPECT_EQ(verdict(rising, std::nullopt, std::nullopt), V::exhaustsBeforeReset(inHours(6), std::nullopt));
  // The latest sample's reset time stands in for a missing argument.
  EXPECT_EQ(verdict(series({{60, 30}, {30, 35}, {0, 40}}, inHours(5)), std::nullopt), V::onTrack(inHours(5)));

  // Falls smaller than a cycle drop are idle at rate 0; 0.25 over 2.5 h is exactly the rising threshold.
  const auto falling = compute(series({{60, 30}, {30, 27}, {0, 24}}));
  EXPECT_EQ(std::pair(falling.ratePerHour, falling.verdict), std::pair(std::optional(0.0), V::idle()));
  EXPECT_EQ(verdict(series({{300, 20}, {150, 20.25}, {0, 20.5}}), std::nullopt, 10080), V::onTrack(std::nullopt));
  EXPECT_EQ(verdict(series({{300, 20}, {150, 20.225}, {0, 20.45}}), std::nullopt, 10080), V::idle());

  // One fresh sample at the limit is enough.
  const auto full = compute(series({{0, 99.99}}));
  EXPECT_EQ(std::pair(full.verdict, full.confidence), std::pair(V::alreadyFull(), C::ok));
  EXPECT_NE(verdict(series({{20, 90}, {10, 95}, {0, 99.98}}), std::nullopt), V::alreadyFull());
  EXPECT_EQ(verdict(series({{40, 100}}), std::nullopt), V::unknown());  // full but stale
}

TEST(TrendCompute, EndedOrEarlierCycleGivesTheEmptyTrend) {
  const auto entries = series({{60, 30}, {30, 35}, {0, 40}}, inHours(1));
  const auto empty = WindowTrend::insufficient(ServiceID::claude, "five_hour");
  EXPECT_EQ(compute(entries, kNow), empty);
  EXPECT_EQ(compute(series({{60, 30}, {30, 35}, {0, 40}}, kNow - Seconds(1))), empty);
  EXPECT_EQ(compute(entries, inHours(1) + Seconds(301)), empty);
  EXPECT_EQ(compute(entries, inHours(1) + Seconds(300)).samples.size(), 3u);
}

TEST(TrendCompute, LookbackDependsOnWindowLengthAndIsMeasuredFromTheLatestSample) {
  // 0.1/h long ago, 5/h in the last two hours.
  const auto entries = series({{1200, 0}, {600, 1}, {120, 10}, {60, 15}, {0, 20}});
  EXPECT_NEAR(compute(entries, std::nullopt, 300).ratePerHour.value_or(-1), 5, 1e-9);
  // All ten pairs: the median of 9/8 and 14/9.
  EXPECT_NEAR(compute(entries, std::nullopt, 10080).ratePerHour.value_or(-1), 193.0 / 144, 1e-9);
  // Latest sample 20 minutes old: the first one is exactly three hours before it.
  EXPECT_TRUE(compute(series({{200, 10}, {110, 12}, {20, 14}})).ratePerHour);
  EXPECT_FALSE(compute(series({{201, 10}, {110, 12}, {20, 14}})).ratePerHour);
}

TEST(TrendCompute, IgnoresOtherSeriesFutureAndUnusableEntries) {
  auto entries = series({{60, 30}, {30, 35}, {0, 40}});
  const auto expected = compute(entries);
  entries.push_back(entry(10, 90, std::nullopt, "seven_day"));
  entries.push_back(entry(10, 90, std::nullopt, "five_hour", ServiceID::codex));
  entries.push_back(entry(-5, 90));  // five minutes ahead: within tolerance
  EXPECT_EQ(compute(entries).samples.size(), 4u);
  entries.back() = entry(-5.02, 90);
  entries.push_back(entry(15, std::nan("")));
  entries.push_back(entry(15, 32));
  entries.back().at = fromEpochSeconds(-INFINITY);
  EXPECT_EQ(compute(entries), expected);
}

// A stored series in time order is read in place; any other input is sorted first. Both must give
// the same trend, also with samples beyond the horizon, equal times, cycles and broken samples.
TEST(TrendCalculatorTest, InOrderSeriesAndShuffledCopiesAgree) {
  const auto reset = inHours(3);
  std::vector<HistorySample> base;
  for (int i = 0; i < 300; ++i) {
    const double used = i < 120 ? 60 + i * 0.2 : (i - 120) * 0.3;  // a new cycle at 120
    base.push_back({toEpochSeconds(kNow) - (300 - i) * 60.0, used, toEpochSeconds(reset)});
  }
  base.push_back(base.back());                                             // same time
  base.push_back({toEpochSeconds(kNow) + 200, 80, base.back().resetsAt});  // within tolerance
  base.push_back({toEpochSeconds(kNow) + 900, 99, base.back().resetsAt});  // beyond it

  std::vector<std::vector<HistorySample>> variants{base};
  variants.push_back(base);
  variants.back().insert(variants.back().begin() + 50, HistorySample{std::nan(""), 50, std::nan("")});
  variants.push_back(base);
  variants.back().push_back({std::numeric_limits<double>::infinity(), 10, std::nan("")});

  for (const auto& samples : variants) {
    const HistorySeries inOrder(samples);
    std::vector<HistorySample> shuffled = samples;
    std::reverse(shuffled.begin(), shuffled.end());
    std::stable_sort(shuffled.begin(), shuffled.end(), [](auto& a, auto& b) { return a.at > b.at; });
    for (const std::optional<int> minutes : {std::optional<int>(300), std::optional<int>(10080)}) {
      const WindowTrend a = TrendCalculator::compute(ServiceID::claude, "five_hour", inOrder, reset, minutes, kNow);
      const WindowTrend b = TrendCalculator::compute(ServiceID::claude, "five_hour", shuffled.data(),
                                                     shuffled.data() + shuffled.size(), reset, minutes, kNow);
      std::vector<HistoryEntry> entries;
      for (const auto& sample : samples) entries.push_back(sample.entry(HistoryKey{ServiceID::claude, "five_hour"}));
      const WindowTrend c = TrendCalculator::compute(ServiceID::claude, "five_hour", entries, reset, minutes, kNow);
      EXPECT_EQ(a, b);
      EXPECT_EQ(a, c);
      ASSERT_TRUE(a.ratePerHour);
      EXPECT_EQ(a.samples.size(), 182u);  // the current cycle up to the horizon
      EXPECT_EQ(a.samples.back().usedPercent, 80);
    }
  }
}
