#include <gtest/gtest.h>

#include <QUuid>

#include "KoreanTime.h"
#include "SettingsDomain.h"
#include "TestSandbox.h"
#include "ThresholdNotifier.h"

namespace {
// 2025-11-19 12:00 in Seoul.
const TimePoint kNow = fromEpochSeconds(1763521200);

TimePoint inSeconds(double seconds) { return kNow + Seconds(seconds); }

class FakeCenter : public NotificationCenter {
 public:
  struct Added {
    QString identifier;
    NotificationContent content;
  };
  Authorization status = Authorization::allowed;
  std::vector<Added> added;
  int requests = 0;

  Authorization authorizationStatus() override { return status; }
  bool requestAuthorization() override {
    ++requests;
    status = Authorization::allowed;
    return true;
  }
  void add(const QString& identifier, const NotificationContent& content) override {
    added.push_back({identifier, content});
  }
};

ServiceUsage usageOf(ServiceID service, std::vector<UsageWindow> windows,
                     ProviderStatus status = ProviderStatus::ok()) {
  ServiceUsage usage;
  usage.service = service;
  usage.windows = std::move(windows);
  usage.fetchedAt = kNow;
  usage.status = std::move(status);
  return usage;
}

ServiceUsage claudeFiveHour(double percent, std::optional<TimePoint> resetsAt = inSeconds(3 * 3600)) {
  return usageOf(ServiceID::claude, {UsageWindow("five_hour", "5시간", percent, resetsAt, 300)});
}

class ThresholdNotifierTest : public SandboxedTest {
 protected:
  void SetUp() override { KoreanTime::setTimeZoneForTesting("Asia/Seoul"); }
  void TearDown() override { KoreanTime::setTimeZoneForTesting(nullptr); }

  std::shared_ptr<SettingsDomain> defaults =
      SettingsDomain::suite("notifier-" + QUuid::createUuid().toString(QUuid::Id128));
  std::shared_ptr<FakeCenter> center = std::make_shared<FakeCenter>();
  Thresholds thresholds{70, 90};

  std::unique_ptr<ThresholdNotifier> makeNotifier(const QString& nameSpace = QStringLiteral("live")) {
    auto notifier = std::make_unique<ThresholdNotifier>(defaults, nameSpace, center);
    notifier->refreshAuthorization();
    return notifier;
  }

  void evaluate(ThresholdNotifier& notifier, std::vector<ServiceUsage> usages, TimePoint now = kNow) {
    notifier.evaluate(usages, thresholds, true, now);
  }
};
}  // namespace

TEST_F(ThresholdNotifierTest, AuthorizationFollowsTheCentreAndNotifiesOnlyOnChange) {
  center->status = NotificationCenter::Authorization::notDetermined;
  ThresholdNotifier notifier(defaults, "live", center);
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::unknown);
  EXPECT_TRUE(notifier.hasCenter());
  int changes = 0;
  QObject::connect(&notifier, &ThresholdNotifier::authorizationChanged, [&] { ++changes; });

  notifier.refreshAuthorization();
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::notDetermined);
  notifier.refreshAuthorization();
  EXPECT_EQ(changes, 1);

  notifier.requestAuthorization();
  EXPECT_EQ(center->requests, 1);
  notifier.refreshAuthorization();
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::allowed);

  center->status = NotificationCenter::Authorization::denied;
  notifier.refreshAuthorization();
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::denied);
  center->status = NotificationCenter::Authorization::other;
  notifier.refreshAuthorization();
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::unknown);
  EXPECT_EQ(changes, 4);
}

TEST_F(ThresholdNotifierTest, DisabledOrNotAllowedLeavesEverythingUntouched) {
  auto notifier = makeNotifier();
  notifier->evaluate({claudeFiveHour(95)}, thresholds, false, kNow);

  for (auto status : {NotificationCenter::Authorization::denied, NotificationCenter::Authorization::notDetermined,
                      NotificationCenter::Authorization::other}) {
    center->status = status;
    notifier->refreshAuthorization();
    evaluate(*notifier, {claudeFiveHour(95), claudeFiveHour(10)});
  }
  EXPECT_TRUE(center->added.empty());
  EXPECT_FALSE(defaults->contains(notifier->stateKey()));

  // Once allowed, the window is notified at its current level, not retroactively.
  center->status = NotificationCenter::Authorization::allowed;
  notifier->refreshAuthorization();
  evaluate(*notifier, {claudeFiveHour(95)});
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_TRUE(center->added[0].content.sound);
}

TEST_F(ThresholdNotifierTest, FirstSightingAboveCriticalGivesOneCriticalNotification) {
  auto notifier = makeNotifier();
  EXPECT_EQ(notifier->stateKey(), QStringLiteral("notifiedLevels.live"));
  evaluate(*notifier, {claudeFiveHour(95)});

  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].identifier, QStringLiteral("usage.claude.five_hour"));
  EXPECT_EQ(center->added[0].content.title, QStringLiteral("Claude 한도 임박 · 95% 사용"));
  EXPECT_TRUE(center->added[0].content.sound);
  const auto state = notifier->loadState();
  ASSERT_EQ(state.size(), 1u);
  EXPECT_EQ(state.at("claude.five_hour"), (ThresholdNotifier::Entry{2, toEpochSeconds(inSeconds(3 * 3600))}));
}

TEST_F(ThresholdNotifierTest, RisingThroughTheLevelsNotifiesOncePerLevel) {
  auto notifier = makeNotifier();
  for (double percent : {75.0, 80.0, 92.0, 93.0, 50.0, 95.0}) evaluate(*notifier, {claudeFiveHour(percent)});

  ASSERT_EQ(center->added.size(), 2u);
  EXPECT_EQ(center->added[0].content.title, QStringLiteral("Claude 사용량 주의 · 75% 사용"));
  EXPECT_FALSE(center->added[0].content.sound);
  EXPECT_EQ(center->added[1].content.title, QStringLiteral("Claude 한도 임박 · 92% 사용"));
  EXPECT_TRUE(center->added[1].content.sound);
  EXPECT_EQ(notifier->loadState().at("claude.five_hour").level, 2);
}

TEST_F(ThresholdNotifierTest, ResetDriftStaysInTheCycleButANewResetRearms) {
  auto notifier = makeNotifier();
  const TimePoint reset = inSeconds(3 * 3600);
  evaluate(*notifier, {claudeFiveHour(75, reset)});
  evaluate(*notifier, {claudeFiveHour(76, reset + Seconds(20 * 60))});
  EXPECT_EQ(center->added.size(), 1u);
  // The stored cycle stays where it was, so drift cannot accumulate past the limit unnoticed.
  EXPECT_EQ(notifier->loadState().at("claude.five_hour").cycle, toEpochSeconds(reset));
  evaluate(*notifier, {claudeFiveHour(76, reset + Seconds(1799))});
  EXPECT_EQ(center->added.size(), 1u);

  const TimePoint nextReset = reset + Seconds(5 * 3600);
  evaluate(*notifier, {claudeFiveHour(75, nextReset)}, reset + Seconds(60));
  ASSERT_EQ(center->added.size(), 2u);
  EXPECT_EQ(center->added[1].content.title, QStringLiteral("Claude 사용량 주의 · 75% 사용"));
  EXPECT_EQ(notifier->loadState().at("claude.five_hour").cycle, toEpochSeconds(nextReset));
}

TEST_F(ThresholdNotifierTest, WindowsWithoutResetTimeShareOneCycle) {
  auto notifier = makeNotifier();
  evaluate(*notifier, {claudeFiveHour(80, std::nullopt)});
  evaluate(*notifier, {claudeFiveHour(85, std::nullopt)}, inSeconds(86400 * 30));
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].content.body, QStringLiteral("5시간 한도의 80%를 사용했어요."));
  EXPECT_EQ(notifier->loadState().at("claude.five_hour").cycle, 0);
}

TEST_F(ThresholdNotifierTest, PassedResetsAndFailedServicesAreIgnored) {
  auto notifier = makeNotifier();
  evaluate(*notifier, {claudeFiveHour(99, kNow), claudeFiveHour(99, inSeconds(-600))});
  auto failed = claudeFiveHour(99);
  failed.status = ProviderStatus::unavailable("사용량을 불러오지 못했어요.");
  auto signedOut = usageOf(ServiceID::codex, {UsageWindow("codex_primary", "5시간", 99, inSeconds(600))},
                           ProviderStatus::notSignedIn());
  evaluate(*notifier, {failed, signedOut});
  EXPECT_TRUE(center->added.empty());
  EXPECT_FALSE(defaults->contains(notifier->stateKey()));
}

TEST_F(ThresholdNotifierTest, NormalLevelInANewCycleIsRecordedSilently) {
  auto notifier = makeNotifier();
  evaluate(*notifier, {claudeFiveHour(10)});
  EXPECT_TRUE(center->added.empty());
  EXPECT_EQ(notifier->loadState().at("claude.five_hour"),
            (ThresholdNotifier::Entry{0, toEpochSeconds(inSeconds(3 * 3600))}));

  // Falling back to normal within the cycle keeps the higher level recorded.
  evaluate(*notifier, {claudeFiveHour(80)});
  evaluate(*notifier, {claudeFiveHour(10)});
  evaluate(*notifier, {claudeFiveHour(85)});
  EXPECT_EQ(center->added.size(), 1u);
  EXPECT_EQ(notifier->loadState().at("claude.five_hour").level, 1);
}

TEST_F(ThresholdNotifierTest, WindowsAndServicesAreTrackedApart) {
  auto notifier = makeNotifier(QStringLiteral("mock"));
  EXPECT_EQ(notifier->stateKey(), QStringLiteral("notifiedLevels.mock"));
  const auto codex = usageOf(ServiceID::codex, {UsageWindow("codex_primary", "5시간", 91, inSeconds(3600)),
                                                UsageWindow("codex_secondary", "주간", 72, inSeconds(86400 * 3))});
  evaluate(*notifier, {codex, claudeFiveHour(72)});
  ASSERT_EQ(center->added.size(), 3u);
  EXPECT_EQ(center->added[0].identifier, QStringLiteral("usage.codex.codex_primary"));
  EXPECT_EQ(center->added[0].content.title, QStringLiteral("ChatGPT 한도 임박 · 91% 사용"));
  EXPECT_EQ(center->added[1].identifier, QStringLiteral("usage.codex.codex_secondary"));
  EXPECT_EQ(center->added[2].identifier, QStringLiteral("usage.claude.five_hour"));
  EXPECT_FALSE(defaults->contains(QStringLiteral("notifiedLevels.live")));
}

TEST_F(ThresholdNotifierTest, NotificationTextsAreExact) {
  const UsageWindow window("seven_day", "주간", 84.6, inSeconds(3 * 3600 + 5 * 60));
  const auto warning = ThresholdNotifier::thresholdContent(ServiceID::claude, window, UsageLevel::warning, kNow);
  ASSERT_TRUE(warning);
  EXPECT_EQ(warning->title, QStringLiteral("Claude 사용량 주의 · 85% 사용"));
  EXPECT_EQ(warning->body, QStringLiteral("주간 한도의 85%를 사용했어요.\n3시간 5분 후 초기화 · 오늘 오후 3:05"));
  EXPECT_FALSE(warning->sound);

  const UsageWindow soon("codex_primary", "5시간", 97.2, inSeconds(45));
  const auto critical = ThresholdNotifier::thresholdContent(ServiceID::codex, soon, UsageLevel::critical, kNow);
  ASSERT_TRUE(critical);
  EXPECT_EQ(critical->title, QStringLiteral("ChatGPT 한도 임박 · 97% 사용"));
  EXPECT_EQ(critical->body, QStringLiteral("5시간 한도의 97%를 사용했어요.\n곧 초기화 · 오늘 오후 12:00"));
  EXPECT_TRUE(critical->sound);

  const UsageWindow minute("five_hour", "5시간", 90, inSeconds(60));
  EXPECT_TRUE(ThresholdNotifier::thresholdContent(ServiceID::claude, minute, UsageLevel::critical, kNow)
                  ->body.endsWith(QStringLiteral("\n1분 후 초기화 · 오늘 오후 12:01")));
  const UsageWindow tomorrow("seven_day", "주간", 90, inSeconds(26 * 3600 + 40 * 60));
  EXPECT_TRUE(ThresholdNotifier::thresholdContent(ServiceID::claude, tomorrow, UsageLevel::critical, kNow)
                  ->body.endsWith(QStringLiteral("\n1일 2시간 후 초기화 · 내일 오후 2:40")));

  EXPECT_FALSE(ThresholdNotifier::thresholdContent(ServiceID::claude, window, UsageLevel::normal, kNow));
}

TEST_F(ThresholdNotifierTest, StoredStateRoundTripsAndBadStateCountsAsEmpty) {
  auto notifier = makeNotifier();
  const ThresholdNotifier::State state{{"claude.five_hour", {1, 1763532000.25}}, {"codex.codex_primary", {2, 0}}};
  notifier->saveState(state);
  EXPECT_EQ(defaults->value(notifier->stateKey()).typeId(), QMetaType::QByteArray);
  EXPECT_EQ(notifier->loadState(), state);
  // A fresh domain object reads the same bytes from disk.
  EXPECT_EQ(ThresholdNotifier(SettingsDomain::suite(defaults->name()), "live", center).loadState(), state);

  const QVariant undecodable[] = {
      QByteArray("not json"),
      QByteArray("[]"),
      QByteArray(R"({"claude.five_hour":{"level":1}})"),
      QByteArray(R"({"claude.five_hour":{"level":1.5,"cycle":0}})"),
      QByteArray(R"({"claude.five_hour":{"level":"1","cycle":0}})"),
      QByteArray(R"({"claude.five_hour":{"level":1,"cycle":0},"x":{"level":99999999999,"cycle":0}})"),
      QStringLiteral("{}"),
  };
  for (const QVariant& stored : undecodable) {
    defaults->setValue(notifier->stateKey(), stored);
    EXPECT_TRUE(notifier->loadState().empty()) << stored.toString().toStdString();
  }

  // The next change overwrites the bad value and the window is notified afresh.
  evaluate(*notifier, {claudeFiveHour(75)});
  EXPECT_EQ(center->added.size(), 1u);
  EXPECT_EQ(notifier->loadState().at("claude.five_hour").level, 1);

  // Extra members and unknown levels are kept; an unknown level re-arms like level 0.
  defaults->setValue(notifier->stateKey(),
                     QByteArray(R"({"claude.five_hour":{"level":7,"cycle":)" +
                                QByteArray::number(toEpochSeconds(inSeconds(3 * 3600)), 'f', 3) + R"(,"note":1}})"));
  evaluate(*notifier, {claudeFiveHour(75)});
  EXPECT_EQ(center->added.size(), 2u);
}

TEST_F(ThresholdNotifierTest, DevelopmentRunWritesOneLineToStandardError) {
  QByteArray written;
  ThresholdNotifier notifier(defaults, "live", nullptr, [&](const QByteArray& text) { written += text; });
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::unsupported);
  EXPECT_FALSE(notifier.hasCenter());
  notifier.refreshAuthorization();
  notifier.requestAuthorization();
  EXPECT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::unsupported);

  notifier.sendTestNotification();
  EXPECT_EQ(
      QString::fromUtf8(written),
      QStringLiteral("[Quotabox] 알림(개발 모드, 표시 생략): Quotabox 알림 테스트 — 사용량이 설정한 임계값을 넘으면 "
                     "이렇게 알려 드려요.\n"));
  EXPECT_FALSE(defaults->contains(notifier.stateKey()));

  written.clear();
  notifier.evaluate({claudeFiveHour(92, std::nullopt)}, thresholds, true, kNow);
  EXPECT_EQ(QString::fromUtf8(written),
            QStringLiteral("[Quotabox] 알림(개발 모드, 표시 생략): Claude 한도 임박 · 92% 사용 — 5시간 한도의 92%를 "
                           "사용했어요.\n"));
  EXPECT_EQ(notifier.loadState().at("claude.five_hour").level, 2);
}

TEST_F(ThresholdNotifierTest, TestNotificationGoesToTheCentreWithItsOwnIdentifier) {
  auto notifier = makeNotifier();
  notifier->sendTestNotification();
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].identifier, QStringLiteral("usage.test"));
  EXPECT_EQ(center->added[0].content,
            (NotificationContent{QStringLiteral("Quotabox 알림 테스트"),
                                 QStringLiteral("사용량이 설정한 임계값을 넘으면 이렇게 알려 드려요."), false}));
}
