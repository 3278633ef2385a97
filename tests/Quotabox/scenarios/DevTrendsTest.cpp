#include <gtest/gtest.h>

#include "scenarios/DevTrends.h"
#include "scenarios/TrendShowcaseProvider.h"

namespace {

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

TimePoint in(double seconds) { return kNow + Seconds(seconds); }

}  // namespace

TEST(DevTrends, ShowcaseWindowsShowEveryKindOfForecast) {
  using C = TrendConfidence;
  struct Expected {
    std::vector<double> values;
    double hours;  // age of the first sample; the rest are evenly spread up to now
    TrendVerdict verdict;
    std::optional<double> rate;
    C confidence;
  };
  // Claude's five_hour, seven_day and seven_day_opus, then Codex's codex_secondary and codex_primary.
  const std::vector<Expected> expected{
      {{41, 52, 60, 71, 78, 86, 93, 99, 100, 100}, 3.9, TrendVerdict::alreadyFull(), 15, C::ok},
      // 36 points at 1.2 per hour.
      {{58, 60, 61, 63, 64},
       5,
       TrendVerdict::exhaustsBeforeReset(in((100 - 64) / 1.2 * 3600), in(190800)),
       1.2,
       C::low},
      {std::vector<double>(12, 12), 10, TrendVerdict::idle(), 0, C::ok},
      {{11, 13, 16, 18}, 1.2, TrendVerdict::onTrack(in(12000)), 5.5, C::low},
      {{29, 30}, 0.2, TrendVerdict::unknown(), std::nullopt, C::insufficient},
  };
  std::size_t index = 0;
  for (const auto service : ServiceIDs::allCases) {
    for (const auto& window : TrendShowcaseProvider::usage(service, kNow).windows) {
      SCOPED_TRACE(window.id);
      ASSERT_LT(index, expected.size());
      const auto& e = expected[index++];
      const auto trend = DevTrends::make(service, window, true, kNow);
      EXPECT_EQ(trend.verdict, e.verdict);
      EXPECT_EQ(trend.ratePerHour, e.rate);
      EXPECT_EQ(trend.confidence, e.confidence);
      ASSERT_EQ(trend.samples.size(), e.values.size());
      for (std::size_t i = 0; i < e.values.size(); ++i) {
        const double share = double(e.values.size() - 1 - i) / double(e.values.size() - 1);
        EXPECT_EQ(trend.samples[i].usedPercent, e.values[i]);
        EXPECT_NEAR((toEpochSeconds(kNow) - toEpochSeconds(trend.samples[i].at)) / 3600, e.hours * share, 1e-9);
        EXPECT_EQ(std::tie(trend.samples[i].service, trend.samples[i].windowID), std::tie(service, window.id));
      }
      EXPECT_EQ(trend.samples.back().at, kNow);
      // With history off nothing is made up.
      EXPECT_EQ(DevTrends::make(service, window, false, kNow), WindowTrend::insufficient(service, window.id));
    }
  }
  EXPECT_EQ(index, expected.size());
}
