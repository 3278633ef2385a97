#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QUuid>

#include "EventLoop.h"
#include "FreedesktopNotificationCenter.h"
#include "SettingsDomain.h"
#include "TestSandbox.h"
#include "ThresholdNotifier.h"

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage callServer(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, interface, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

// dunst's list of closed notifications, newest first.
QList<QVariantMap> dunstHistory() {
  const QDBusMessage reply =
      callServer(QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("NotificationListHistory"));
  QList<QVariantMap> entries;
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return entries;
  const QDBusArgument argument = reply.arguments().first().value<QDBusArgument>();
  argument.beginArray();
  while (!argument.atEnd()) {
    QVariantMap entry;
    argument >> entry;
    entries.append(entry);
  }
  argument.endArray();
  return entries;
}

QList<QVariantMap> entriesWithId(const QList<QVariantMap>& history, quint32 id) {
  QList<QVariantMap> found;
  for (const QVariantMap& entry : history) {
    if (entry.value(QStringLiteral("id")).toUInt() == id) found.append(entry);
  }
  return found;
}

class NotificationDeliveryTest : public SandboxedTest {};
}  // namespace

TEST_F(NotificationDeliveryTest, ADisconnectedBusHasNoNotificationServer) {
  EXPECT_FALSE(FreedesktopNotificationCenter::isAvailable(QDBusConnection(QStringLiteral("quotabox-not-connected"))));
}

TEST_F(NotificationDeliveryTest, NotificationsReachTheServerAndReplaceTheirPredecessor) {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!FreedesktopNotificationCenter::isAvailable(bus)) {
    GTEST_SKIP() << "no notification server on the session bus; run the tests under scripts/with-session";
  }
  auto center = std::make_shared<FreedesktopNotificationCenter>(bus);
  const QString token = QUuid::createUuid().toString(QUuid::Id128);
  ThresholdNotifier notifier(SettingsDomain::suite("delivery-" + token), "live", center);
  notifier.refreshAuthorization();
  ASSERT_EQ(notifier.authorization(), ThresholdNotifier::Authorization::allowed);

  // A window of its own, so parallel runs against the same server cannot be mistaken for ours.
  const std::string windowID = "delivery_" + token.toStdString();
  const QString identifier = QStringLiteral("usage.claude.") + QString::fromStdString(windowID);
  const TimePoint now = systemNow();
  const auto usageAt = [&](double percent) {
    ServiceUsage usage;
    usage.service = ServiceID::claude;
    usage.fetchedAt = now;
    usage.windows = {UsageWindow(windowID, "검사 " + token.toStdString(), percent, now + Seconds(3 * 3600), 300)};
    return usage;
  };

  notifier.sendTestNotification();
  notifier.evaluate({usageAt(75)}, {70, 90}, true, now);
  ASSERT_TRUE(waitUntil([&] { return center->isIdle(); }));
  const auto first = center->serverId(identifier);
  const auto test = center->serverId(QStringLiteral("usage.test"));
  ASSERT_TRUE(first && test);

  notifier.evaluate({usageAt(92)}, {70, 90}, true, now);
  ASSERT_TRUE(waitUntil([&] { return center->isIdle(); }));
  EXPECT_EQ(center->serverId(identifier), first);

  // Closing moves displayed notifications into dunst's history, where their texts can be read.
  for (quint32 id : {*first, *test}) {
    callServer(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("CloseNotification"),
               {QVariant::fromValue(id)});
  }
  QList<QVariantMap> history;
  ASSERT_TRUE(waitUntil([&] {
    history = dunstHistory();
    return !entriesWithId(history, *first).isEmpty() && !entriesWithId(history, *test).isEmpty();
  })) << "the notifications never reached dunst's history";

  const auto critical =
      ThresholdNotifier::thresholdContent(ServiceID::claude, usageAt(92).windows[0], UsageLevel::critical, now);
  const auto threshold = entriesWithId(history, *first);
  ASSERT_EQ(threshold.size(), 1);
  EXPECT_EQ(threshold[0].value("summary").toString(), critical->title);
  EXPECT_EQ(threshold[0].value("body").toString(), critical->body);
  EXPECT_EQ(threshold[0].value("appname").toString(), QStringLiteral("Quotabox"));
  for (const QVariantMap& entry : history) {
    EXPECT_FALSE(entry.value("summary").toString().startsWith(QStringLiteral("Claude 사용량 주의")) &&
                 entry.value("body").toString().contains(token))
        << "the warning was not replaced by the critical notification";
  }

  const auto testEntry = entriesWithId(history, *test);
  ASSERT_EQ(testEntry.size(), 1);
  EXPECT_EQ(testEntry[0].value("summary").toString(), QStringLiteral("Quotabox 알림 테스트"));
  EXPECT_EQ(testEntry[0].value("body").toString(),
            QStringLiteral("사용량이 설정한 임계값을 넘으면 이렇게 알려 드려요."));
}

TEST_F(NotificationDeliveryTest, BackToBackNotificationsForOneIdentifierLeaveOnlyTheLast) {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!FreedesktopNotificationCenter::isAvailable(bus)) {
    GTEST_SKIP() << "no notification server on the session bus; run the tests under scripts/with-session";
  }
  FreedesktopNotificationCenter center(bus);
  const QString token = QUuid::createUuid().toString(QUuid::Id128);
  const QString identifier = QStringLiteral("usage.codex.burst_") + token;
  // Sent without waiting: the later ones must wait for the first id to replace it.
  for (const char* step : {"1", "2", "3"}) {
    center.add(identifier, {QStringLiteral("burst ") + token, QString::fromLatin1(step), false});
  }
  ASSERT_TRUE(waitUntil([&] { return center.isIdle(); }));
  const auto id = center.serverId(identifier);
  ASSERT_TRUE(id);
  callServer(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("CloseNotification"),
             {QVariant::fromValue(*id)});

  QList<QVariantMap> history;
  ASSERT_TRUE(waitUntil([&] {
    history = dunstHistory();
    return !entriesWithId(history, *id).isEmpty();
  }));
  QStringList bodies;
  for (const QVariantMap& entry : history) {
    if (entry.value("summary").toString().contains(token)) bodies.append(entry.value("body").toString());
  }
  EXPECT_EQ(bodies, QStringList{QStringLiteral("3")});
}
