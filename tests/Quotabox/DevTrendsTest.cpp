#include <gtest/gtest.h>

#include "DevTrends.h"
#include "TrendShowcaseProvider.h"

namespace {

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

double hoursBefore(TimePoint t) { return (toEpochSeconds(kNow) - toEpochSeconds(t)) / 3600; }

std::vector<double> values(const WindowTrend& trend) {
  std::vector<double> result;
  for (const auto& sample : trend.samples) result.push_back(sample.usedPercent);
  return result;
}

}  // namespace

TEST(DevTrends, HistoryOffGivesTheInsufficientTrend) {
  for (const char* id : {"five_hour", "seven_day", "codex_primary"}) {
    const UsageWindow window(id, "x", 50, kNow + Seconds(3600), 300);
    EXPECT_EQ(DevTrends::make(ServiceID::codex, window, false, kNow), WindowTrend::insufficient(ServiceID::codex, id));
  }
}

TEST(DevTrends, FiveHourIsAlreadyFull) {
  const UsageWindow window("five_hour", "5시간", 100, kNow + Seconds(3900), 300);
  const auto trend = DevTrends::make(ServiceID::claude, window, true, kNow);
  EXPECT_EQ(values(trend), (std::vector<double>{41, 52, 60, 71, 78, 86, 93, 99, 100, 100}));
  EXPECT_NEAR(hoursBefore(trend.samples[0].at), 3.9, 1e-9);
  EXPECT_NEAR(hoursBefore(trend.samples[3].at), 2.6, 1e-9);
  EXPECT_EQ(trend.samples.back().at, kNow);
  EXPECT_EQ(trend.verdict, TrendVerdict::alreadyFull());
  EXPECT_EQ(trend.ratePerHour, 15.0);
  EXPECT_EQ(trend.confidence, TrendConfidence::ok);
  for (const auto& sample : trend.samples) {
    EXPECT_EQ(sample.service, ServiceID::claude);
    EXPECT_EQ(sample.windowID, "five_hour");
  }
}

TEST(DevTrends, SevenDayFillsFromTheWindowsShare) {
  const UsageWindow window("seven_day", "주간", 64, kNow + Seconds(190800), 10080);
  const auto trend = DevTrends::make(ServiceID::claude, window, true, kNow);
  EXPECT_EQ(values(trend), (std::vector<double>{58, 60, 61, 63, 64}));
  EXPECT_NEAR(hoursBefore(trend.samples[0].at), 5, 1e-9);
  ASSERT_EQ(trend.verdict.kind, TrendVerdict::Kind::exhaustsBeforeReset);
  EXPECT_NEAR(hoursBefore(*trend.verdict.fullAt), -30, 1e-9);  // 36 points at 1.2 per hour
  EXPECT_EQ(trend.verdict.resetsAt, kNow + Seconds(190800));
  EXPECT_EQ(trend.ratePerHour, 1.2);
  EXPECT_EQ(trend.confidence, TrendConfidence::low);
}

TEST(DevTrends, OpusIdleAndCodexFiveHourOnTrack) {
  const UsageWindow opus("seven_day_opus", "주간 (Opus)", 12, kNow + Seconds(190800), 10080);
  const auto idle = DevTrends::make(ServiceID::claude, opus, true, kNow);
  EXPECT_EQ(values(idle), std::vector<double>(12, 12));
  EXPECT_NEAR(hoursBefore(idle.samples[0].at), 10, 1e-9);
  EXPECT_EQ(idle.verdict, TrendVerdict::idle());
  EXPECT_EQ(idle.ratePerHour, 0.0);
  EXPECT_EQ(idle.confidence, TrendConfidence::ok);

  const UsageWindow secondary("codex_secondary", "5시간", 18, kNow + Seconds(12000), 300);
  const auto onTrack = DevTrends::make(ServiceID::codex, secondary, true, kNow);
  EXPECT_EQ(values(onTrack), (std::vector<double>{11, 13, 16, 18}));
  EXPECT_NEAR(hoursBefore(onTrack.samples[1].at), 0.8, 1e-9);
  EXPECT_EQ(onTrack.verdict, TrendVerdict::onTrack(kNow + Seconds(12000)));
  EXPECT_EQ(onTrack.ratePerHour, 5.5);
  EXPECT_EQ(onTrack.confidence, TrendConfidence::low);
}

TEST(DevTrends, OtherWindowsHaveTwoSamplesAndNoForecast) {
  const UsageWindow primary("codex_primary", "주간", 30, kNow + Seconds(432000), 10080);
  const auto trend = DevTrends::make(ServiceID::codex, primary, true, kNow);
  EXPECT_EQ(trend.samples, (std::vector<UsageSample>{{ServiceID::codex, "codex_primary", 29, kNow - Seconds(720)},
                                                     {ServiceID::codex, "codex_primary", 30, kNow}}));
  EXPECT_EQ(trend.verdict, TrendVerdict::unknown());
  EXPECT_FALSE(trend.ratePerHour);
  EXPECT_EQ(trend.confidence, TrendConfidence::insufficient);
}

TEST(DevTrends, ShowcaseWindowsShowEveryKindOfForecast) {
  std::vector<TrendVerdict::Kind> kinds;
  for (const auto service : ServiceIDs::allCases) {
    for (const auto& window : TrendShowcaseProvider::usage(service, kNow).windows) {
      kinds.push_back(DevTrends::make(service, window, true, kNow).verdict.kind);
    }
  }
  using Kind = TrendVerdict::Kind;
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::alreadyFull, Kind::exhaustsBeforeReset, Kind::idle, Kind::onTrack,
                                      Kind::unknown}));
}
