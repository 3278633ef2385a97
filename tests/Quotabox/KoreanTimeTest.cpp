#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>
#include <thread>
#include <vector>

#include "KoreanTime.h"

namespace {

// 2025-11-19 15:05:00 in Seoul (UTC+9, no daylight saving).
const TimePoint kSeoulAfternoon = fromEpochSeconds(1763532300);

TimePoint at(TimePoint base, double seconds) { return base + Seconds(seconds); }

::testing::AssertionResult matches(const QString& text, const QString& pattern) {
  if (QRegularExpression(pattern).match(text).hasMatch()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << '"' << text.toStdString() << "\" does not match " << pattern.toStdString();
}

class KoreanTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { KoreanTime::setTimeZoneForTesting("Asia/Seoul"); }
  void TearDown() override { KoreanTime::setTimeZoneForTesting(nullptr); }
};

}  // namespace

TEST(KoreanTimeWords, PercentRoundsHalvesAwayFromZero) {
  EXPECT_EQ(KoreanTime::percent(42.5), "43%");
  EXPECT_EQ(KoreanTime::percent(7.49), "7%");
  EXPECT_EQ(KoreanTime::percent(99.5), "100%");
  EXPECT_EQ(KoreanTime::percent(-0.4), "0%");
  EXPECT_EQ(KoreanTime::percent(-2.5), "-3%");
  EXPECT_EQ(KoreanTime::percent(0), "0%");
  EXPECT_EQ(KoreanTime::percent(130.2), "130%");
}

TEST(KoreanTimeWords, DurationFloorsToMinutesAndDropsMinutesFromADay) {
  EXPECT_EQ(KoreanTime::durationPhrase(0), "1분");
  EXPECT_EQ(KoreanTime::durationPhrase(59), "1분");
  EXPECT_EQ(KoreanTime::durationPhrase(90), "1분");
  EXPECT_EQ(KoreanTime::durationPhrase(179.9), "2분");
  EXPECT_EQ(KoreanTime::durationPhrase(3599), "59분");
  EXPECT_EQ(KoreanTime::durationPhrase(3600), "1시간");
  EXPECT_EQ(KoreanTime::durationPhrase(3 * 3600 + 5 * 60 + 59), "3시간 5분");
  EXPECT_EQ(KoreanTime::durationPhrase(86399), "23시간 59분");
  EXPECT_EQ(KoreanTime::durationPhrase(86400), "1일");
  EXPECT_EQ(KoreanTime::durationPhrase(86400 + 59 * 60), "1일");
  EXPECT_EQ(KoreanTime::durationPhrase(25 * 3600), "1일 1시간");
  EXPECT_EQ(KoreanTime::durationPhrase(26 * 3600 + 40 * 60), "1일 2시간");
  EXPECT_EQ(KoreanTime::durationPhrase(48 * 3600), "2일");
  EXPECT_EQ(KoreanTime::durationPhrase(400 * 86400), "400일");
}

TEST(KoreanTimeWords, DurationOfTimeAlreadyPastIsNeverNegative) {
  EXPECT_EQ(KoreanTime::durationPhrase(-30), "1분");
  EXPECT_EQ(KoreanTime::durationPhrase(-7200), "1분");
  EXPECT_EQ(KoreanTime::durationPhrase(std::nan("")), "1분");
}

TEST(KoreanTimeWords, IntervalLabelTruncates) {
  EXPECT_EQ(KoreanTime::intervalLabel(30), "30초");
  EXPECT_EQ(KoreanTime::intervalLabel(59.9), "59초");
  EXPECT_EQ(KoreanTime::intervalLabel(60), "1분");
  EXPECT_EQ(KoreanTime::intervalLabel(90), "1분");
  EXPECT_EQ(KoreanTime::intervalLabel(120), "2분");
  EXPECT_EQ(KoreanTime::intervalLabel(900), "15분");
}

TEST_F(KoreanTimeTest, AgoPhraseSteps) {
  const TimePoint now = kSeoulAfternoon;
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, -59), now), "방금");
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, 120), now), "방금");  // a date ahead of the clock
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, -60), now), "1분 전");
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, -(5 * 60 + 59)), now), "5분 전");
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, -3599), now), "59분 전");
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, -3600), now), "1시간 전");
  EXPECT_EQ(KoreanTime::agoPhrase(at(now, -(5 * 3600 + 59 * 60)), now), "5시간 전");
  const TimePoint sixHoursAgo = at(now, -6 * 3600);
  EXPECT_EQ(KoreanTime::agoPhrase(sixHoursAgo, now), KoreanTime::absolute(sixHoursAgo, now));
  EXPECT_TRUE(matches(KoreanTime::agoPhrase(sixHoursAgo, now), "^오늘 오전\\s9:05$"));
}

TEST_F(KoreanTimeTest, AbsoluteNamesTodayTomorrowAndYesterday) {
  const TimePoint now = kSeoulAfternoon;
  EXPECT_TRUE(matches(KoreanTime::absolute(now, now), "^오늘 오후\\s3:05$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(at(now, 8 * 3600 + 54 * 60), now), "^오늘 오후\\s11:59$"));
  // 00:00 of the next day is tomorrow, although only nine hours ahead.
  EXPECT_TRUE(matches(KoreanTime::absolute(at(now, 8 * 3600 + 55 * 60), now), "^내일 오전\\s12:00$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(at(now, 20 * 3600), now), "^내일 오전\\s11:05$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(at(now, -16 * 3600), now), "^어제 오후\\s11:05$"));
  // Two days either way: month, day and weekday.
  EXPECT_TRUE(matches(KoreanTime::absolute(at(now, 2 * 86400), now), "^11월 21일 \\(금\\) 오후\\s3:05$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(at(now, -2 * 86400), now), "^11월 17일 \\(월\\) 오후\\s3:05$"));
}

TEST_F(KoreanTimeTest, JustAfterMidnightTheEveningBeforeIsYesterday) {
  const TimePoint justAfterMidnight = fromEpochSeconds(1763564430);  // 2025-11-20 00:00:30
  const TimePoint lateEvening = fromEpochSeconds(1763564340);        // 2025-11-19 23:59
  EXPECT_TRUE(matches(KoreanTime::absolute(lateEvening, justAfterMidnight), "^어제 오후\\s11:59$"));
  EXPECT_EQ(KoreanTime::agoPhrase(lateEvening, justAfterMidnight), "1분 전");
}

TEST_F(KoreanTimeTest, DaysFollowTheChosenZone) {
  // 15:05 in Seoul is 06:05 in UTC; 20:00 UTC the day before is already the previous evening there.
  const TimePoint now = kSeoulAfternoon;
  const TimePoint previousEvening = at(now, -(10 * 3600 + 5 * 60));  // 20:00 UTC = 05:00 KST
  EXPECT_TRUE(matches(KoreanTime::absolute(previousEvening, now), "^오늘 오전\\s5:00$"));
  KoreanTime::setTimeZoneForTesting("UTC");
  EXPECT_TRUE(matches(KoreanTime::absolute(previousEvening, now), "^어제 오후\\s8:00$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(now, now), "^오늘 오전\\s6:05$"));
}

TEST_F(KoreanTimeTest, TomorrowIsACalendarDayAcrossADaylightSavingChange) {
  KoreanTime::setTimeZoneForTesting("America/New_York");
  // 2025-11-02 has 25 hours there; 24h40m later is still the next calendar day.
  const TimePoint now = fromEpochSeconds(1762057800);   // 2025-11-02 00:30 EDT
  const TimePoint date = fromEpochSeconds(1762146600);  // 2025-11-03 00:10 EST
  EXPECT_TRUE(matches(KoreanTime::absolute(date, now), "^내일 오전\\s12:10$"));
  EXPECT_TRUE(matches(KoreanTime::absolute(now, date), "^어제 오전\\s12:30$"));
}

TEST_F(KoreanTimeTest, ConcurrentFirstUseGivesTheSameText) {
  const QString expected = KoreanTime::absolute(at(kSeoulAfternoon, 2 * 86400), kSeoulAfternoon);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        if (KoreanTime::absolute(at(kSeoulAfternoon, 2 * 86400), kSeoulAfternoon) != expected) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}
