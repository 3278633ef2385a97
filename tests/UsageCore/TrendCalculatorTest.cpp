#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>

#include "TrendCalculator.h"

namespace {

using TrendCalculator::Config;

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

TimePoint minutesAgo(double minutes) { return kNow - Seconds(minutes * 60); }

HistoryEntry entry(double minutesBefore, double used, std::optional<TimePoint> resetsAt = std::nullopt,
                   const std::string& windowID = "five_hour", ServiceID service = ServiceID::claude) {
  return {service, windowID, used, minutesAgo(minutesBefore), resetsAt};
}

// Entries at the given minutes before now with the given values.
std::vector<HistoryEntry> series(const std::vector<std::pair<double, double>>& points,
                                 std::optional<TimePoint> resetsAt = std::nullopt) {
  std::vector<HistoryEntry> result;
  for (const auto& [minutes, used] : points) result.push_back(entry(minutes, used, resetsAt));
  return result;
}

WindowTrend compute(const std::vector<HistoryEntry>& entries, std::optional<TimePoint> resetsAt = std::nullopt,
                    std::optional<int> windowMinutes = 300, const Config& config = Config::standard()) {
  return TrendCalculator::compute(ServiceID::claude, "five_hour", entries, resetsAt, windowMinutes, kNow, config);
}

// Points at whole hours: (hour, value).
std::vector<HistoryEntry> hourly(const std::vector<std::pair<double, double>>& points) {
  std::vector<HistoryEntry> result;
  for (const auto& [hour, used] : points) {
    result.push_back({ServiceID::claude, "five_hour", used, fromEpochSeconds(hour * 3600), std::nullopt});
  }
  return result;
}

}  // namespace

TEST(TrendQuantile, InterpolatesBetweenClosestRanks) {
  const std::vector<double> values{1, 2, 3, 4};
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile(values, 0), 1);
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile(values, 1), 4);
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile(values, 0.5), 2.5);
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile(values, 0.25), 1.75);
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile({7}, 0.75), 7);
  // Out-of-range input must not read outside the list.
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile(values, 1.5), 4);
  EXPECT_DOUBLE_EQ(TrendCalculator::quantile(values, -1), 1);
  EXPECT_TRUE(std::isnan(TrendCalculator::quantile({}, 0.5)));
}

TEST(TrendTheilSen, MedianAndSpreadOfPairwiseSlopes) {
  // Slopes 4, 3, 4, 2, 4, 5 -> sorted 2 3 4 4 4 5: median 4, quartiles 3.25 and 4.
  const auto fit = TrendCalculator::theilSen(hourly({{0, 0}, {0.5, 2}, {1, 3}, {2, 8}}), Config::standard());
  ASSERT_TRUE(fit);
  EXPECT_DOUBLE_EQ(fit->first, 4);
  EXPECT_DOUBLE_EQ(fit->second, 0.75);
}

TEST(TrendTheilSen, PairsCloserThanTheMinimumGapGiveNoSlope) {
  auto close = hourly({{0, 0}, {299.0 / 3600, 5}});
  EXPECT_FALSE(TrendCalculator::theilSen(close, Config::standard()));
  auto apart = hourly({{0, 0}, {300.0 / 3600, 5}});
  ASSERT_TRUE(TrendCalculator::theilSen(apart, Config::standard()));
  EXPECT_DOUBLE_EQ(TrendCalculator::theilSen(apart, Config::standard())->first, 60);

  // Equal times with no minimum gap are skipped instead of dividing by zero.
  Config noGap;
  noGap.minPairGap = 0;
  EXPECT_FALSE(TrendCalculator::theilSen(hourly({{1, 0}, {1, 5}}), noGap));
  EXPECT_FALSE(TrendCalculator::theilSen({}, Config::standard()));
}

TEST(TrendTheilSen, SubsamplingRoundsHalvesAwayFromZero) {
  // Six points picked down to three: positions 0, 2.5, 5 -> indices 0, 3, 5 (values 0, 6, 8).
  // Slopes 2, 1.6, 1: median 1.6, quartiles 1.3 and 1.8.
  Config three;
  three.maxSlopeSamples = 3;
  const auto fit = TrendCalculator::theilSen(hourly({{0, 0}, {1, 50}, {2, 0}, {3, 6}, {4, 50}, {5, 8}}), three);
  ASSERT_TRUE(fit);
  EXPECT_DOUBLE_EQ(fit->first, 1.6);
  EXPECT_NEAR(fit->second, 0.5, 1e-12);
}

TEST(TrendTheilSen, EightyOnePointsKeepTheFirstAndTheLast) {
  // A cluster of 79 points whose pairs are too close, between a first and a last point:
  // slopes from the first are 10/h, to the last 30/h, and first-to-last 20/h, the median only
  // while both ends are kept.
  std::vector<HistoryEntry> points = hourly({{0, 0}});
  for (int i = 1; i <= 79; ++i) {
    points.push_back({ServiceID::claude, "five_hour", 10, fromEpochSeconds(3600 + i), std::nullopt});
  }
  points.push_back({ServiceID::claude, "five_hour", 40, fromEpochSeconds(7200 + 80), std::nullopt});
  const auto fit = TrendCalculator::theilSen(points, Config::standard());
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->first, 40.0 / ((7280.0) / 3600), 1e-9);
}

TEST(TrendCycle, DropOfFivePointsOrALaterResetStartsANewCycle) {
  const Config config = Config::standard();
  const auto exactlyFive = series({{30, 40}, {20, 50}, {10, 45}, {0, 46}});
  EXPECT_EQ(TrendCalculator::currentCycle(exactlyFive, config).size(), 2u);
  const auto lessThanFive = series({{30, 40}, {20, 50}, {10, 45.1}, {0, 46}});
  EXPECT_EQ(TrendCalculator::currentCycle(lessThanFive, config).size(), 4u);

  const TimePoint reset = kNow + Seconds(3600);
  std::vector<HistoryEntry> resets{entry(30, 10, reset), entry(20, 11, reset + Seconds(300)),
                                   entry(10, 12, reset + Seconds(601)), entry(5, 13, reset + Seconds(601))};
  // +300 stays in the cycle, +301 more starts a new one.
  EXPECT_EQ(TrendCalculator::currentCycle(resets, config), std::vector<HistoryEntry>(resets.begin() + 2, resets.end()));
  // Only known reset times are compared.
  resets[2].resetsAt.reset();
  EXPECT_EQ(TrendCalculator::currentCycle(resets, config).size(), 4u);

  // The last of several boundaries wins.
  const auto many = series({{50, 80}, {40, 10}, {30, 60}, {20, 5}, {10, 6}});
  EXPECT_EQ(TrendCalculator::currentCycle(many, config).size(), 2u);
  EXPECT_EQ(TrendCalculator::currentCycle(series({{0, 70}}), config).size(), 1u);
}

TEST(TrendCompute, TooLittleDataIsUnknownButKeepsTheCycle) {
  EXPECT_EQ(compute({}), WindowTrend::insufficient(ServiceID::claude, "five_hour"));

  const auto one = compute(series({{0, 20}}));
  EXPECT_EQ(one.samples.size(), 1u);
  EXPECT_EQ(one.verdict, TrendVerdict::unknown());
  EXPECT_EQ(one.confidence, TrendConfidence::insufficient);
  EXPECT_FALSE(one.ratePerHour);

  const auto nineteenMinutes = compute(series({{19, 20}, {10, 22}, {0, 24}}));
  EXPECT_EQ(nineteenMinutes.samples.size(), 3u);
  EXPECT_EQ(nineteenMinutes.verdict, TrendVerdict::unknown());
  EXPECT_EQ(nineteenMinutes.confidence, TrendConfidence::insufficient);

  // Two samples over an hour: enough span, too few samples.
  EXPECT_EQ(compute(series({{60, 20}, {0, 24}})).confidence, TrendConfidence::insufficient);
}

TEST(TrendCompute, ThreeSamplesOverTwentyMinutesGiveALowConfidenceRate) {
  const auto trend = compute(series({{20, 10}, {10, 11.5}, {0, 13}}));
  ASSERT_TRUE(trend.ratePerHour);
  EXPECT_NEAR(*trend.ratePerHour, 9, 1e-9);
  EXPECT_EQ(trend.confidence, TrendConfidence::low);
  // 87 points at 9/h is 9.7 h, beyond the 5-hour window.
  EXPECT_EQ(trend.verdict, TrendVerdict::onTrack(std::nullopt));
  EXPECT_EQ(trend.samples.front(), (UsageSample{ServiceID::claude, "five_hour", 10, minutesAgo(20)}));
}

TEST(TrendCompute, ConfidenceDependsOnCountSpanAndSpread) {
  const auto steady = compute(series({{60, 10}, {50, 12}, {40, 14}, {30, 16}, {20, 18}, {10, 20}, {0, 22}}));
  EXPECT_NEAR(*steady.ratePerHour, 12, 1e-9);
  EXPECT_EQ(steady.confidence, TrendConfidence::ok);

  // Rate 3/h with an inter-quartile range of 8.4: more than half the rate.
  const auto erratic = compute(series({{60, 10}, {50, 14}, {40, 11}, {30, 15}, {20, 12}, {10, 16}, {0, 13}}));
  EXPECT_NEAR(*erratic.ratePerHour, 3, 1e-9);
  EXPECT_EQ(erratic.confidence, TrendConfidence::low);

  // Six samples, but only 40 minutes.
  const auto shortSpan = compute(series({{40, 10}, {32, 12}, {24, 14}, {16, 16}, {8, 18}, {0, 20}}));
  EXPECT_EQ(shortSpan.confidence, TrendConfidence::low);
  // Six samples over exactly 45 minutes.
  const auto justEnough = compute(series({{45, 10}, {36, 12}, {27, 14}, {18, 16}, {9, 18}, {0, 20}}));
  EXPECT_EQ(justEnough.confidence, TrendConfidence::ok);
  // Five samples over an hour.
  const auto fewSamples = compute(series({{60, 10}, {45, 12}, {30, 14}, {15, 16}, {0, 18}}));
  EXPECT_EQ(fewSamples.confidence, TrendConfidence::low);
}

TEST(TrendCompute, StaleOrFullLatestSample) {
  const auto stale = compute(series({{91, 10}, {61, 20}, {31, 30}}));
  EXPECT_EQ(stale.samples.size(), 3u);
  EXPECT_EQ(stale.verdict, TrendVerdict::unknown());
  EXPECT_EQ(stale.confidence, TrendConfidence::insufficient);
  EXPECT_TRUE(compute(series({{90, 10}, {60, 20}, {30, 30}})).ratePerHour);

  const auto full = compute(series({{0, 99.99}}));
  EXPECT_EQ(full.verdict, TrendVerdict::alreadyFull());
  EXPECT_EQ(full.confidence, TrendConfidence::ok);
  EXPECT_FALSE(full.ratePerHour);
  EXPECT_NE(compute(series({{20, 90}, {10, 95}, {0, 99.98}})).verdict, TrendVerdict::alreadyFull());
  // A full but stale window is not known to be full any more.
  EXPECT_EQ(compute(series({{40, 100}})).verdict, TrendVerdict::unknown());
}

TEST(TrendCompute, SlowOrFallingUsageIsIdle) {
  // Falls smaller than a cycle drop.
  const auto falling = compute(series({{60, 30}, {30, 27}, {0, 24}}));
  EXPECT_EQ(falling.verdict, TrendVerdict::idle());
  EXPECT_EQ(falling.ratePerHour, 0.0);

  // Points 2.5 h apart on a 7-day window (24 h look-back): 0.25 / 2.5 h is exactly 0.1 per hour.
  const auto atThreshold = compute(series({{300, 20}, {150, 20.25}, {0, 20.5}}), std::nullopt, 10080);
  EXPECT_DOUBLE_EQ(*atThreshold.ratePerHour, 0.1);
  EXPECT_EQ(atThreshold.verdict, TrendVerdict::onTrack(std::nullopt));

  const auto below = compute(series({{300, 20}, {150, 20.225}, {0, 20.45}}), std::nullopt, 10080);
  EXPECT_NEAR(*below.ratePerHour, 0.09, 1e-9);
  EXPECT_EQ(below.verdict, TrendVerdict::idle());
}

TEST(TrendCompute, ResetTimesDecideTheVerdict) {
  const auto rising = series({{60, 30}, {30, 35}, {0, 40}});  // 10 per hour, full in 6 h

  EXPECT_EQ(compute(rising, kNow + Seconds(7 * 3600)).verdict,
            TrendVerdict::exhaustsBeforeReset(kNow + Seconds(6 * 3600), kNow + Seconds(7 * 3600)));
  EXPECT_EQ(compute(rising, kNow + Seconds(5 * 3600)).verdict, TrendVerdict::onTrack(kNow + Seconds(5 * 3600)));
  // Full exactly at the reset is not before it.
  EXPECT_EQ(compute(rising, kNow + Seconds(6 * 3600)).verdict, TrendVerdict::onTrack(kNow + Seconds(6 * 3600)));

  // Without a reset time the window's length is the horizon.
  EXPECT_EQ(compute(rising, std::nullopt, 300).verdict, TrendVerdict::onTrack(std::nullopt));
  const auto fourHours = series({{60, 50}, {30, 55}, {0, 60}});
  EXPECT_EQ(compute(fourHours, std::nullopt, 300).verdict,
            TrendVerdict::exhaustsBeforeReset(kNow + Seconds(4 * 3600), std::nullopt));
  EXPECT_EQ(compute(rising, std::nullopt, std::nullopt).verdict,
            TrendVerdict::exhaustsBeforeReset(kNow + Seconds(6 * 3600), std::nullopt));

  // The latest sample's reset time stands in for a missing argument.
  const auto stored = series({{60, 30}, {30, 35}, {0, 40}}, kNow + Seconds(5 * 3600));
  EXPECT_EQ(compute(stored).verdict, TrendVerdict::onTrack(kNow + Seconds(5 * 3600)));
}

TEST(TrendCompute, EndedOrEarlierCycleGivesTheEmptyTrend) {
  const TimePoint reset = kNow + Seconds(3600);
  const auto entries = series({{60, 30}, {30, 35}, {0, 40}}, reset);
  const auto empty = WindowTrend::insufficient(ServiceID::claude, "five_hour");

  EXPECT_EQ(compute(entries, kNow), empty);
  EXPECT_EQ(compute(series({{60, 30}, {30, 35}, {0, 40}}, kNow - Seconds(1))), empty);
  EXPECT_EQ(compute(entries, reset + Seconds(301)), empty);
  EXPECT_EQ(compute(entries, reset + Seconds(300)).samples.size(), 3u);
}

TEST(TrendCompute, LookbackDependsOnWindowLengthAndIsMeasuredFromTheLatestSample) {
  // 0.1/h long ago, 5/h in the last two hours.
  const auto entries = series({{1200, 0}, {600, 1}, {120, 10}, {60, 15}, {0, 20}});
  const auto fiveHour = compute(entries, std::nullopt, 300);
  EXPECT_NEAR(*fiveHour.ratePerHour, 5, 1e-9);
  EXPECT_EQ(fiveHour.samples.size(), 5u);  // the sparkline keeps the whole cycle
  // All ten pairs: the median of 9/8 and 14/9.
  EXPECT_NEAR(*compute(entries, std::nullopt, 10080).ratePerHour, 193.0 / 144, 1e-9);
  // Without a length the window counts as short.
  EXPECT_NEAR(*compute(entries, std::nullopt, std::nullopt).ratePerHour, 5, 1e-9);

  // Latest sample 20 minutes old: the first one is exactly three hours before it.
  EXPECT_TRUE(compute(series({{200, 10}, {110, 12}, {20, 14}}), std::nullopt, 300).ratePerHour);
  EXPECT_FALSE(compute(series({{201, 10}, {110, 12}, {20, 14}}), std::nullopt, 300).ratePerHour);
}

TEST(TrendCompute, IgnoresOtherSeriesFutureAndUnusableEntries) {
  auto entries = series({{60, 30}, {30, 35}, {0, 40}});
  const auto expected = compute(entries);
  entries.push_back(entry(10, 90, std::nullopt, "seven_day"));
  entries.push_back(entry(10, 90, std::nullopt, "five_hour", ServiceID::codex));
  entries.push_back(entry(-5, 90));  // five minutes ahead: within tolerance
  EXPECT_EQ(compute(entries).samples.size(), 4u);
  entries.pop_back();
  entries.push_back(entry(-5.02, 90));
  entries.push_back(entry(15, std::nan("")));
  entries.push_back(entry(15, INFINITY));
  HistoryEntry badTime = entry(15, 32);
  badTime.at = fromEpochSeconds(-INFINITY);
  entries.push_back(badTime);
  EXPECT_EQ(compute(entries), expected);
}

TEST(TrendCompute, PropertiesOverGeneratedSeries) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 40; ++round) {
    std::uniform_real_distribution<double> gap(60, 900);
    std::uniform_real_distribution<double> step(-6, 4);
    const double pace = std::uniform_real_distribution<double>(0.2, 30)(random);
    const int count = std::uniform_int_distribution<int>(3, 150)(random);

    std::vector<HistoryEntry> walk;
    std::vector<HistoryEntry> steady;
    double minutes = 0;
    double value = 50;
    for (int i = 0; i < count; ++i) {
      walk.push_back(entry(minutes, value));
      steady.push_back(entry(minutes, 10 - pace * minutes / 60));
      minutes += gap(random) / 60;
      value = std::clamp(value - step(random), 0.0, 99.0);
    }
    std::reverse(walk.begin(), walk.end());  // oldest first
    const auto trend = compute(walk, std::nullopt, 10080);
    if (trend.ratePerHour) {
      EXPECT_GE(*trend.ratePerHour, 0);
    }

    // Shuffling and unrelated series change nothing.
    auto mixed = walk;
    std::shuffle(mixed.begin(), mixed.end(), random);
    for (int i = 0; i < 10; ++i) mixed.push_back(entry(i, 50 + i, std::nullopt, "seven_day"));
    std::shuffle(mixed.begin(), mixed.end(), random);
    EXPECT_EQ(compute(mixed, std::nullopt, 10080), trend);

    // A constant pace is found exactly, however irregular the sampling.
    const auto steadyTrend = compute(steady, std::nullopt, 10080);
    if (steadyTrend.ratePerHour) {
      EXPECT_NEAR(*steadyTrend.ratePerHour, pace, 1e-6);
    } else {
      EXPECT_LT(std::min(toEpochSeconds(steady.front().at) - toEpochSeconds(steady.back().at), 86400.0), 1200);
    }
  }
}

TEST(TrendTypes, JsonKeysAndRawValues) {
  const UsageSample sample{ServiceID::codex, "codex_primary", 42.5, fromEpochSeconds(1763479153.25)};
  const nlohmann::json json = sample;
  EXPECT_EQ(json.at("service"), "codex");
  EXPECT_EQ(json.at("windowID"), "codex_primary");
  EXPECT_EQ(json.at("usedPercent"), 42.5);
  EXPECT_EQ(json.at("at"), 1763479153.25);
  EXPECT_EQ(json.get<UsageSample>(), sample);
  EXPECT_THROW(nlohmann::json::parse(R"({"service":"codex","windowID":"x","usedPercent":1})").get<UsageSample>(),
               nlohmann::json::exception);

  EXPECT_EQ(nlohmann::json(TrendConfidence::insufficient), "insufficient");
  EXPECT_EQ(nlohmann::json("low").get<TrendConfidence>(), TrendConfidence::low);
  EXPECT_EQ(TrendConfidences::fromRaw("ok"), TrendConfidence::ok);
  EXPECT_EQ(TrendConfidences::fromRaw("OK"), std::nullopt);
  EXPECT_THROW(nlohmann::json("high").get<TrendConfidence>(), nlohmann::json::exception);

  EXPECT_NE(TrendVerdict::onTrack(std::nullopt), TrendVerdict::onTrack(kNow));
  EXPECT_NE(TrendVerdict::exhaustsBeforeReset(kNow, std::nullopt), TrendVerdict::exhaustsBeforeReset(kNow, kNow));
  EXPECT_NE(TrendVerdict::idle(), TrendVerdict::unknown());
}
