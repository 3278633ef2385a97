#include <gtest/gtest.h>

#include <tuple>

#include "SeoulTime.h"
#include "wording/TrendPhrasing.h"

namespace {
TimePoint in(double seconds) { return kSeoulAfternoon + Seconds(seconds); }

using Tone = TrendPresentation::Tone;

QString spokenOf(std::initializer_list<std::pair<double, double>> points) {
  std::vector<UsageSample> samples;
  for (const auto& [offset, percent] : points) samples.push_back({ServiceID::claude, "five_hour", percent, in(offset)});
  return TrendPhrasing::spoken(samples, kSeoulAfternoon);
}

WindowTrend trendOf(TrendVerdict verdict, TrendConfidence confidence, std::optional<double> rate = 4,
                    std::size_t sampleCount = 6) {
  WindowTrend trend = WindowTrend::insufficient(ServiceID::claude, "five_hour");
  for (std::size_t i = 0; i < sampleCount; ++i) {
    trend.samples.push_back({ServiceID::claude, "five_hour", 10.0 + static_cast<double>(i), in(-600.0 * (6 - i))});
  }
  trend.verdict = verdict;
  trend.confidence = confidence;
  trend.ratePerHour = rate;
  return trend;
}

UsageWindow windowAt(double percent, std::optional<double> resetIn = 3 * 3600) {
  return UsageWindow("five_hour", "5시간", percent,
                     resetIn ? std::optional<TimePoint>(in(*resetIn)) : std::optional<TimePoint>(), 300);
}

using TrendPhrasingTest = SeoulTimeTest;
}  // namespace

TEST(TrendPhrasingWords, ProjectionRoundsToAStepBySizeAndRoughness) {
  const std::tuple<double, bool, const char*> cases[] = {
      {47, true, "50분"},         {0.2, false, "5분"},  // never below one step
      {57.5, false, "1시간"},                           // a half goes away from zero
      {200, false, "3시간 20분"}, {200, true, "3시간 30분"}, {1439, false, "1일"},
      {3180, false, "2일 5시간"}, {3180, true, "2일 6시간"},
  };
  for (const auto& [minutes, rough, expected] : cases) {
    EXPECT_EQ(TrendPhrasing::projection(minutes * 60, rough), expected) << minutes << " rough " << rough;
  }
}

// The first rule that applies decides the row; every field is checked.
TEST_F(TrendPhrasingTest, PresentationFirstMatchWins) {
  const auto low = TrendConfidence::low;
  const auto ok = TrendConfidence::ok;
  const auto onTrack = TrendVerdict::onTrack(in(3 * 3600));
  const auto full = trendOf(TrendVerdict::alreadyFull(), ok);
  const auto exhausts = [](double at, std::optional<double> reset, TrendConfidence confidence) {
    return trendOf(TrendVerdict::exhaustsBeforeReset(in(at), reset ? std::optional(in(*reset)) : std::nullopt),
                   confidence);
  };
  const auto row = [](Tone tone, const char* symbol, const QString& title, std::optional<QString> subtitle,
                      const QString& spoken, bool hasDetail) {
    return std::optional(TrendPresentation{tone, symbol, title, std::move(subtitle), spoken, hasDetail});
  };
  const char* octagon = "exclamationmark.octagon.fill";
  const char* triangle = "exclamationmark.triangle.fill";
  const QString roughNote = "기록이 적어 대략적인 예측이에요";
  const auto paused = row(Tone::quiet, "pause.circle", "최신 값을 받으면 다시 예측해요", std::nullopt,
                          "최신 값이 아니라서 예측을 잠시 멈췄어요. 새로고침에 성공하면 다시 예측해요.", false);
  const auto fullIn3h = row(Tone::danger, octagon, "한도에 도달했어요", "3시간 후 초기화되면 다시 쓸 수 있어요",
                            "한도에 도달했어요. 3시간 후 초기화되면 다시 쓸 수 있어요.", false);
  const auto collecting = row(Tone::quiet, "hourglass", "추이를 모으는 중이에요", std::nullopt,
                              "추이를 모으는 중이에요. 기록이 더 쌓이면 예측을 보여 드려요.", false);
  const struct {
    const char* name;
    WindowTrend trend;
    UsageWindow window;
    bool isCurrent;
    std::optional<TrendPresentation> expected;  // absent: no row
  } cases[] = {
      {"reset just passed beats a good forecast", trendOf(onTrack, ok), windowAt(40, 0), true, std::nullopt},
      {"outdated with one sample", trendOf(onTrack, ok, 4, 1), windowAt(40), false, std::nullopt},
      {"outdated with two samples", trendOf(onTrack, ok, 4, 2), windowAt(40), false, paused},
      {"outdated even when full", full, windowAt(100), false, paused},
      {"full window beats on track", trendOf(onTrack, ok), windowAt(99.99), true, fullIn3h},
      {"full with few records", trendOf(TrendVerdict::alreadyFull(), TrendConfidence::insufficient), windowAt(80), true,
       fullIn3h},
      {"full, reset in 59 s", full, windowAt(100, 59), true,
       row(Tone::danger, octagon, "한도에 도달했어요", "곧 초기화되면 다시 쓸 수 있어요",
           "한도에 도달했어요. 곧 초기화되면 다시 쓸 수 있어요.", false)},
      {"full, no reset", full, windowAt(100, std::nullopt), true,
       row(Tone::danger, octagon, "한도에 도달했어요", std::nullopt, "한도에 도달했어요.", false)},
      {"insufficient", trendOf(onTrack, TrendConfidence::insufficient), windowAt(99.98), true, collecting},
      {"unknown verdict", trendOf(TrendVerdict::unknown(), ok), windowAt(40), true, collecting},
      {"idle", trendOf(TrendVerdict::idle(), ok), windowAt(40), true,
       row(Tone::calm, "moon.zzz", "최근 사용이 거의 없어요", std::nullopt, "최근 사용이 거의 없어요.", true)},
      {"on track", trendOf(onTrack, ok), windowAt(40), true,
       row(Tone::calm, "checkmark.circle", "초기화 전까지 여유 있어요", std::nullopt,
           "지금 속도면 초기화 전까지 여유 있어요.", true)},
      {"on track, low", trendOf(onTrack, low), windowAt(40), true,
       row(Tone::calm, "checkmark.circle", "초기화 전까지 여유 있어 보여요", roughNote,
           "지금 속도면 초기화 전까지 여유 있어 보여요. 기록이 적어 대략적인 예측이에요.", true)},
      {"exhausts in 6 min, 1 h before the window's reset", exhausts(360, std::nullopt, ok), windowAt(40, 3960), true,
       row(Tone::danger, triangle, "약 5분 뒤 한도에 도달해요", "초기화보다 1시간 먼저",
           "지금 속도면 약 5분 뒤 한도에 도달해요. 초기화보다 1시간 먼저 바닥나요.", true)},
      {"exhausts in 299 s, 30 s before the verdict's reset", exhausts(299, 329, ok), windowAt(40, 7200), true,
       row(Tone::danger, triangle, "곧 한도에 도달해요", "초기화 직전에 바닥나요",
           "지금 속도면 곧 한도에 도달해요. 초기화 직전에 바닥나요.", true)},
      {"exhausts, low, 60 s before the reset", exhausts(12000, 12060, low), windowAt(40, std::nullopt), true,
       row(Tone::caution, triangle, "대략 3시간 30분 뒤 한도에 도달해요", "초기화보다 10분 먼저",
           "지금 속도면 대략 3시간 30분 뒤 한도에 도달해요. 초기화보다 10분 먼저 바닥나요. " + roughNote + ".", true)},
      {"exhausts, low, no reset anywhere", exhausts(3600, std::nullopt, low), windowAt(40, std::nullopt), true,
       row(Tone::caution, triangle, "대략 1시간 뒤 한도에 도달해요", roughNote,
           "지금 속도면 대략 1시간 뒤 한도에 도달해요. " + roughNote + ".", true)},
  };
  for (const auto& c : cases) {
    const auto result = TrendPhrasing::presentation(c.trend, c.window, kSeoulAfternoon, c.isCurrent);
    EXPECT_EQ(result, c.expected) << c.name << ": " << (result ? result->spoken.toStdString() : "no row");
  }
}

TEST_F(TrendPhrasingTest, DetailLinesRateProjectionResetAndBasis) {
  const auto onTrack = TrendVerdict::onTrack(std::nullopt);
  const auto lines = [](const WindowTrend& trend, const UsageWindow& window) {
    return TrendPhrasing::detailLines(trend, window, kSeoulAfternoon);
  };
  const QString reset = "초기화 · " + KoreanTime::absolute(in(3 * 3600), kSeoulAfternoon);
  const QString basis = "이번 주기 기록 6개 기준";
  // 9.96 prints as 10.0 and then 10; the projection stops at 99.
  EXPECT_EQ(lines(trendOf(onTrack, TrendConfidence::low, 9.96), windowAt(80)),
            (QStringList{"시간당 대략 10%p씩 늘고 있어요", "이 속도면 초기화 때 대략 99% 예상", reset,
                         basis + " · 기록이 적어 대략적이에요"}));
  // The rate rounds away from zero; the projection's half rounds up.
  EXPECT_EQ(lines(trendOf(onTrack, TrendConfidence::ok, 12.5), windowAt(10)),
            (QStringList{"시간당 약 13%p씩 늘고 있어요", "이 속도면 초기화 때 약 48% 예상", reset, basis}));
  EXPECT_EQ(lines(trendOf(TrendVerdict::idle(), TrendConfidence::ok, 0.04), windowAt(40)),
            (QStringList{"사용량이 거의 늘지 않고 있어요", reset, basis}));
  // Too few records: no rate and no projection.
  EXPECT_EQ(lines(trendOf(onTrack, TrendConfidence::insufficient, 3, 1), windowAt(40)),
            (QStringList{reset, "이번 주기 기록 1개 기준"}));
  EXPECT_EQ(
      lines(trendOf(TrendVerdict::exhaustsBeforeReset(in(7200), std::nullopt), TrendConfidence::ok, 2.44),
            windowAt(40)),
      (QStringList{"시간당 약 2.4%p씩 늘고 있어요",
                   "한도 도달 예상 · " + KoreanTime::absolute(in(7200), kSeoulAfternoon) + " 무렵", reset, basis}));
  // Without a reset time neither a projection nor a reset line.
  EXPECT_EQ(lines(trendOf(onTrack, TrendConfidence::ok, 3), windowAt(40, std::nullopt)),
            (QStringList{"시간당 약 3%p씩 늘고 있어요", basis}));
}

TEST(TrendPhrasingWords, SpokenSummaryOfTheSamples) {
  EXPECT_EQ(spokenOf({{-600, 17}}), "최근 추이: 기록이 아직 부족해요");
  EXPECT_EQ(spokenOf({{-7200, 17}, {0, 17.4}}), "최근 추이: 2시간 동안 17%에서 거의 변화 없어요");
  EXPECT_EQ(spokenOf({{-7200, 17}, {-3600, 30}, {0, 16}}), "최근 추이: 2시간 동안 17%에서 16%로 줄었어요");
  EXPECT_EQ(spokenOf({{-10, 20.5}, {0, 44.5}}),
            "최근 추이: 1분 동안 21%에서 45%로 늘었어요");  // span at least a minute
}

TEST(TrendPhrasingWords, AxisStartRoundsTheElapsedTimeByItsSize) {
  const std::pair<double, const char*> cases[] = {
      {59, "방금"}, {60, "5분 전"}, {200 * 60, "3시간 20분 전"}, {1500 * 60, "1일 1시간 전"}};
  for (const auto& [elapsed, expected] : cases) {
    EXPECT_EQ(TrendPhrasing::axisStart(in(-elapsed), kSeoulAfternoon), expected) << elapsed;
  }
}
