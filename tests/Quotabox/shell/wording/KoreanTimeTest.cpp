#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>

#include "SeoulTime.h"

namespace {
TimePoint at(double seconds) { return kSeoulAfternoon + Seconds(seconds); }

// ICU may put a narrow no-break space before the clock time.
::testing::AssertionResult matches(const QString& text, const QString& pattern) {
  if (QRegularExpression(pattern).match(text).hasMatch()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << '"' << text.toStdString() << "\" does not match " << pattern.toStdString();
}

using KoreanTimeTest = SeoulTimeTest;
}  // namespace

TEST(KoreanTimeWords, PercentRoundsHalvesAwayFromZero) {
  const std::pair<double, const char*> cases[] = {{42.5, "43%"}, {7.49, "7%"}, {-0.4, "0%"}, {-2.5, "-3%"}};
  for (const auto& [value, expected] : cases) EXPECT_EQ(KoreanTime::percent(value), expected) << value;
}

TEST(KoreanTimeWords, DurationFloorsMinutesNeverGoesBelowOneAndDropsMinutesFromDays) {
  const std::pair<double, const char*> cases[] = {{-7200, "1분"},  {59, "1분"},          {3599, "59분"},
                                                  {3600, "1시간"}, {11159, "3시간 5분"}, {86399, "23시간 59분"},
                                                  {89940, "1일"},  {96000, "1일 2시간"}};
  EXPECT_EQ(KoreanTime::durationPhrase(std::nan("")), "1분");
  for (const auto& [seconds, expected] : cases) EXPECT_EQ(KoreanTime::durationPhrase(seconds), expected) << seconds;
  EXPECT_EQ(KoreanTime::intervalLabel(59.9), "59초");
  EXPECT_EQ(KoreanTime::intervalLabel(90), "1분");
}

TEST_F(KoreanTimeTest, AgoPhraseStepsAndFallsBackToTheClockAtSixHours) {
  // 120 s ahead is a date ahead of the clock.
  const std::pair<double, const char*> cases[] = {{-59, "방금"},      {120, "방금"},       {-60, "1분 전"},
                                                  {-3599, "59분 전"}, {-3600, "1시간 전"}, {-21540, "5시간 전"}};
  for (const auto& [offset, expected] : cases)
    EXPECT_EQ(KoreanTime::agoPhrase(at(offset), kSeoulAfternoon), expected) << offset;
  EXPECT_TRUE(matches(KoreanTime::agoPhrase(at(-6 * 3600), kSeoulAfternoon), "^오늘 오전\\s9:05$"));
}

TEST_F(KoreanTimeTest, AbsoluteNamesTodayTomorrowAndYesterdayByCalendarDay) {
  EXPECT_TRUE(matches(KoreanTime::absolute(at(8 * 3600 + 54 * 60), kSeoulAfternoon), "^오늘 오후\\s11:59$"));
  // 00:00 of the next day is tomorrow, although only nine hours ahead.
  EXPECT_TRUE(matches(KoreanTime::absolute(at(8 * 3600 + 55 * 60), kSeoulAfternoon), "^내일 오전\\s12:00$"));
  // Two days away: month, day and weekday.
  EXPECT_TRUE(matches(KoreanTime::absolute(at(2 * 86400), kSeoulAfternoon), "^11월 21일 \\(금\\) 오후\\s3:05$"));

  const TimePoint justAfterMidnight = fromEpochSeconds(1763564430);  // 2025-11-20 00:00:30
  const TimePoint lateEvening = fromEpochSeconds(1763564340);        // 2025-11-19 23:59
  EXPECT_TRUE(matches(KoreanTime::absolute(lateEvening, justAfterMidnight), "^어제 오후\\s11:59$"));
}

// Also proves the chosen zone is used: in Seoul both would read as afternoon times.
TEST_F(KoreanTimeTest, TomorrowIsACalendarDayAcrossADaylightSavingChange) {
  KoreanTime::setTimeZoneForTesting("America/New_York");
  // 2025-11-02 has 25 hours there; 24h40m later is still the next calendar day.
  const TimePoint now = fromEpochSeconds(1762057800);   // 2025-11-02 00:30 EDT
  const TimePoint date = fromEpochSeconds(1762146600);  // 2025-11-03 00:10 EST
  EXPECT_TRUE(matches(KoreanTime::absolute(date, now), "^내일 오전\\s12:10$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(now, date), "^어제 오전\\s12:30$"));
}
