#include <gtest/gtest.h>

#include <QUuid>

#include "FakeNotificationCenter.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "notifications/ThresholdNotifier.h"
#include "settings/SettingsDomain.h"
#include "wording/KoreanTime.h"

namespace {
// 2025-11-19 12:00 in Seoul.
const TimePoint kNow = fromEpochSeconds(1763521200);
const TimePoint kReset = kNow + Seconds(3 * 3600);
using Auth = NotificationCenter::Authorization;

ServiceUsage claude(double percent, std::optional<TimePoint> resetsAt = kReset) {
  return okUsage(ServiceID::claude, {fiveHourWindow(percent, resetsAt)}, toEpochSeconds(kNow));
}

class ThresholdNotifierTest : public SandboxedTest {
 protected:
  void SetUp() override {
    KoreanTime::setTimeZoneForTesting("Asia/Seoul");
    notifier->refreshAuthorization();
  }
  void TearDown() override { KoreanTime::setTimeZoneForTesting(nullptr); }

  void evaluate(std::vector<ServiceUsage> usages, TimePoint now = kNow) {
    notifier->evaluate(usages, {70, 90}, true, now);
  }
  QString title(size_t i) const { return center->added.at(i).second.title; }
  ThresholdNotifier::Entry stored() const { return notifier->loadState().at("claude.five_hour"); }

  std::shared_ptr<SettingsDomain> defaults =
      SettingsDomain::suite("notifier-" + QUuid::createUuid().toString(QUuid::Id128));
  std::shared_ptr<FakeNotificationCenter> center = std::make_shared<FakeNotificationCenter>();
  std::unique_ptr<ThresholdNotifier> notifier = std::make_unique<ThresholdNotifier>(defaults, "live", center);
};
}  // namespace

TEST_F(ThresholdNotifierTest, DisabledNotAllowedUnshowablePassedOrFailedLeavesEverythingUntouched) {
  auto failed = claude(99);
  failed.status = ProviderStatus::unavailable("사용량을 불러오지 못했어요.");
  evaluate({claude(99, kNow), claude(99, kNow - Seconds(600)), failed});
  notifier->evaluate({claude(95)}, {70, 90}, false, kNow);
  center->status = Auth::denied;  // every answer but "allowed" takes the same way
  notifier->refreshAuthorization();
  evaluate({claude(95)});
  center->status = Auth::allowed;
  notifier->refreshAuthorization();
  center->showable = false;  // no server yet: not recorded as shown
  evaluate({claude(95)});
  EXPECT_TRUE(center->added.empty());
  EXPECT_FALSE(defaults->contains(notifier->stateKey()));
}

TEST_F(ThresholdNotifierTest, OneNotificationPerLevelWithinACycle) {
  // A first sighting above critical skips the warning.
  evaluate({claude(95)});
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].first, QStringLiteral("usage.claude.five_hour"));
  EXPECT_EQ(title(0), QStringLiteral("Claude 한도 임박 · 95% 사용"));
  EXPECT_EQ(stored(), (ThresholdNotifier::Entry{2, toEpochSeconds(kReset)}));

  notifier->saveState({});
  for (double percent : {10.0, 75.0, 80.0, 10.0, 85.0, 92.0, 93.0, 50.0, 95.0}) evaluate({claude(percent)});
  ASSERT_EQ(center->added.size(), 3u);
  EXPECT_EQ(title(1), QStringLiteral("Claude 사용량 주의 · 75% 사용"));
  EXPECT_EQ(title(2), QStringLiteral("Claude 한도 임박 · 92% 사용"));
}

TEST_F(ThresholdNotifierTest, ResetDriftStaysInTheCycleButANewResetRearms) {
  evaluate({claude(75)});
  evaluate({claude(76, kReset + Seconds(20 * 60))});
  // The stored cycle stays put, so drift cannot creep past the limit unnoticed.
  EXPECT_EQ(stored().cycle, toEpochSeconds(kReset));
  evaluate({claude(76, kReset + Seconds(1799))});
  EXPECT_EQ(center->added.size(), 1u);

  evaluate({claude(75, kReset + Seconds(5 * 3600))}, kReset + Seconds(60));
  ASSERT_EQ(center->added.size(), 2u);
  EXPECT_EQ(stored().cycle, toEpochSeconds(kReset + Seconds(5 * 3600)));

  // Windows without a reset time share one cycle, however much later.
  notifier->saveState({});
  evaluate({claude(80, std::nullopt)});
  evaluate({claude(85, std::nullopt)}, kNow + Seconds(86400 * 30));
  EXPECT_EQ(center->added.size(), 3u);
  EXPECT_EQ(stored().cycle, 0);
}

TEST_F(ThresholdNotifierTest, WindowsAndServicesAreTrackedApart) {
  evaluate(
      {okUsage(ServiceID::codex,
               {UsageWindow("codex_primary", "5시간", 91, kReset), UsageWindow("codex_secondary", "주간", 72, kReset)},
               toEpochSeconds(kNow)),
       claude(72)});
  ASSERT_EQ(center->added.size(), 3u);
  EXPECT_EQ(center->added[0].first, QStringLiteral("usage.codex.codex_primary"));
  EXPECT_EQ(title(0), QStringLiteral("ChatGPT 한도 임박 · 91% 사용"));
  EXPECT_EQ(center->added[1].first, QStringLiteral("usage.codex.codex_secondary"));
  EXPECT_EQ(notifier->loadState().size(), 3u);
}

TEST_F(ThresholdNotifierTest, NotificationTextsAreExact) {
  const auto content = [](double percent, double resetIn, UsageLevel level) {
    return ThresholdNotifier::thresholdContent(
        ServiceID::claude, UsageWindow("seven_day", "주간", percent, kNow + Seconds(resetIn)), level, kNow);
  };
  EXPECT_EQ(content(84.6, 3 * 3600 + 5 * 60, UsageLevel::warning),
            (NotificationContent{"Claude 사용량 주의 · 85% 사용",
                                 "주간 한도의 85%를 사용했어요.\n3시간 5분 후 초기화 · 오늘 오후 3:05", false,
                                 NotificationContent::Urgency::normal}));
  EXPECT_EQ(content(90, 60, UsageLevel::critical),
            (NotificationContent{"Claude 한도 임박 · 90% 사용",
                                 "주간 한도의 90%를 사용했어요.\n1분 후 초기화 · 오늘 오후 12:01", true,
                                 NotificationContent::Urgency::critical}));
  EXPECT_FALSE(content(90, 60, UsageLevel::normal));
}

TEST_F(ThresholdNotifierTest, StoredStateRoundTripsAndBadStateCountsAsEmpty) {
  const ThresholdNotifier::State state{{"claude.five_hour", {1, 1763532000.25}}, {"codex.codex_primary", {2, 0}}};
  notifier->saveState(state);
  EXPECT_EQ(ThresholdNotifier(SettingsDomain::suite(defaults->name()), "live", center).loadState(), state);

  // Not JSON, not an object, a missing key, a fraction (as a wrong type would), out of range, a string instead of
  // bytes.
  const QVariant undecodable[] = {
      QByteArray("not json"),
      QByteArray("[]"),
      QByteArray(R"({"claude.five_hour":{"level":1}})"),
      QByteArray(R"({"claude.five_hour":{"level":1.5,"cycle":0}})"),
      QByteArray(R"({"claude.five_hour":{"level":1,"cycle":0},"x":{"level":99999999999,"cycle":0}})"),
      QStringLiteral("{}"),
  };
  for (const QVariant& bad : undecodable) {
    defaults->setValue(notifier->stateKey(), bad);
    EXPECT_TRUE(notifier->loadState().empty()) << bad.toString().toStdString();
  }
  // The next change overwrites the bad value.
  evaluate({claude(75)});
  EXPECT_EQ(stored().level, 1);

  // Extra members are accepted and an unknown level re-arms like level 0.
  defaults->setValue(notifier->stateKey(),
                     QByteArray(R"({"claude.five_hour":{"level":7,"cycle":)" +
                                QByteArray::number(toEpochSeconds(kReset), 'f', 3) + R"(,"note":1}})"));
  evaluate({claude(75)});
  EXPECT_EQ(center->added.size(), 2u);
}

TEST_F(ThresholdNotifierTest, DevelopmentRunWritesOneLineToStandardError) {
  QByteArray written;
  ThresholdNotifier dev(defaults, "live", nullptr, [&](const QByteArray& text) { written += text; });
  dev.refreshAuthorization();
  EXPECT_EQ(dev.authorization(), ThresholdNotifier::Authorization::unsupported);
  dev.sendTestNotification();
  dev.evaluate({claude(92, std::nullopt)}, {70, 90}, true, kNow);
  EXPECT_EQ(QString::fromUtf8(written),
            QStringLiteral("[Quotabox] 알림(개발 모드, 표시 생략): Quotabox 알림 테스트 — 사용량이 설정한 임계값을 "
                           "넘으면 이렇게 알려 드려요.\n[Quotabox] 알림(개발 모드, 표시 생략): Claude 한도 임박 · 92% "
                           "사용 — 5시간 한도의 92%를 사용했어요.\n"));
  EXPECT_EQ(dev.loadState().at("claude.five_hour").level, 2);
}
