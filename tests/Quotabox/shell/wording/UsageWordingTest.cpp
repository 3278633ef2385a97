#include <gtest/gtest.h>

#include "SeoulTime.h"
#include "wording/UsageWording.h"

namespace {
using UsageWordingTest = SeoulTimeTest;
}  // namespace

TEST_F(UsageWordingTest, FailureDetailEndsTheSentenceOnceAndAddsTheRetryLine) {
  EXPECT_EQ(UsageWording::failureDetail("  네트워크에 연결할 수 없어요\n", 120),
            "네트워크에 연결할 수 없어요.\n2분마다 자동으로 다시 시도해요.");
  EXPECT_EQ(UsageWording::failureDetail("끝났어요。", 60), "끝났어요。\n1분마다 자동으로 다시 시도해요.");
  EXPECT_EQ(UsageWording::failureDetail("", 30), "\n30초마다 자동으로 다시 시도해요.");
}

TEST_F(UsageWordingTest, ResetLineCoversAheadSoonAndAbsent) {
  const UsageWindow ahead("five_hour", "5시간", 38, kSeoulAfternoon + Seconds(2 * 3600 + 14 * 60 + 30), 300);
  EXPECT_EQ(UsageWording::resetLine(ahead, kSeoulAfternoon),
            "2시간 14분 후 초기화 · " + KoreanTime::absolute(*ahead.resetsAt, kSeoulAfternoon));

  const UsageWindow soon("five_hour", "5시간", 38, kSeoulAfternoon + Seconds(45), 300);
  EXPECT_TRUE(UsageWording::resetLine(soon, kSeoulAfternoon).startsWith("곧 초기화 · "));

  EXPECT_TRUE(UsageWording::resetLine(UsageWindow("codex_primary", "기본 한도", 5), kSeoulAfternoon).isEmpty());
}

TEST_F(UsageWordingTest, LastRefreshLineDropsTodayAndAvoidsRepeating) {
  EXPECT_EQ(UsageWording::lastRefreshText(std::nullopt, true, kSeoulAfternoon), "불러오는 중…");
  EXPECT_EQ(UsageWording::lastRefreshText(std::nullopt, false, kSeoulAfternoon), "아직 갱신 전");
  const QString recent = UsageWording::lastRefreshText(kSeoulAfternoon - Seconds(300), false, kSeoulAfternoon);
  EXPECT_TRUE(recent.startsWith("마지막 갱신 오후 ")) << recent.toStdString();
  EXPECT_TRUE(recent.endsWith(" · 5분 전")) << recent.toStdString();
  // Yesterday the relative phrase falls back to the absolute one: shown once.
  EXPECT_EQ(UsageWording::lastRefreshText(kSeoulAfternoon - Seconds(20 * 3600), false, kSeoulAfternoon),
            "마지막 갱신 " + KoreanTime::absolute(kSeoulAfternoon - Seconds(20 * 3600), kSeoulAfternoon));
}

TEST_F(UsageWordingTest, HidesPlaceholderMetricsAndJudgesOutdatedValues) {
  ServiceUsage usage = ServiceUsage::failure(ServiceID::codex, kSeoulAfternoon - Seconds(901), ProviderStatus::ok());
  usage.metrics = {{"credits", "크레딧", "—"}, {"a", "A", "-"}, {"b", "B", ""}, {"c", "C", "3"}};
  ASSERT_EQ(UsageWording::visibleMetrics(usage).size(), 1u);
  EXPECT_EQ(UsageWording::visibleMetrics(usage)[0].id, "c");

  EXPECT_TRUE(UsageWording::isOutdated(usage, kSeoulAfternoon, 120));
  // A plain failure has no values to be outdated.
  const auto failed =
      ServiceUsage::failure(ServiceID::codex, kSeoulAfternoon - Seconds(9000), ProviderStatus::notSignedIn());
  EXPECT_FALSE(UsageWording::isOutdated(failed, kSeoulAfternoon, 120));
}
