#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QUuid>

#include "EventLoop.h"
#include "platform/FreedesktopNotificationCenter.h"

namespace {
QDBusMessage callServer(const char* interface, const QString& method, const QVariantList& arguments = {}) {
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("/org/freedesktop/Notifications"),
                                                     QString::fromLatin1(interface), method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

// Closes the notification and, once it is in dunst's history, returns the history entries that
// hold `token` in their summary.
QList<QVariantMap> closeAndReadHistory(quint32 id, const QString& token) {
  callServer("org.freedesktop.Notifications", QStringLiteral("CloseNotification"), {QVariant::fromValue(id)});
  QList<QVariantMap> ours;
  const bool arrived = waitUntil([&] {
    const QDBusMessage reply = callServer("org.dunstproject.cmd0", QStringLiteral("NotificationListHistory"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    ours.clear();
    for (const QVariantMap& entry : qdbus_cast<QList<QVariantMap>>(reply.arguments().first())) {
      if (entry.value("summary").toString().contains(token)) ours.append(entry);
    }
    return std::any_of(ours.begin(), ours.end(), [&](const QVariantMap& e) { return e.value("id").toUInt() == id; });
  });
  EXPECT_TRUE(arrived) << "the notification never reached dunst's history";
  return ours;
}
}  // namespace

TEST(NotificationDelivery, NotificationsForOneIdentifierReplaceTheirPredecessor) {
  if (!FreedesktopNotificationCenter::isAvailable(QDBusConnection::sessionBus())) {
    GTEST_SKIP() << "no notification server on the session bus; run the tests under scripts/with-session";
  }
  // Unique per run, so parallel runs against the same server cannot be mistaken for ours.
  const QString token = QUuid::createUuid().toString(QUuid::Id128);
  FreedesktopNotificationCenter center(QDBusConnection::sessionBus());
  const QString identifier = QStringLiteral("usage.codex.burst_") + token;
  // Sent without waiting: the later ones must wait for the first answer to replace it.
  center.add(identifier, {"warning " + token, "1", false});
  for (const char* step : {"2", "3"}) center.add(identifier, {"critical " + token, step, true});
  ASSERT_TRUE(waitUntil([&] { return center.isIdle(); }));
  const auto id = center.serverId(identifier);
  ASSERT_TRUE(id);

  // Only the last is left on the server.
  const auto ours = closeAndReadHistory(*id, token);
  ASSERT_EQ(ours.size(), 1);
  EXPECT_EQ(ours[0].value("summary").toString(), "critical " + token);
  EXPECT_EQ(ours[0].value("body").toString(), QStringLiteral("3"));
  EXPECT_EQ(ours[0].value("appname").toString(), QStringLiteral("Quotabox"));
}

TEST(NotificationDelivery, HintsNameTheDesktopEntryAndFollowTheLevel) {
  using Urgency = NotificationContent::Urgency;
  const QVariantMap warning = FreedesktopNotificationCenter::hints({"주의", "본문", false, Urgency::normal});
  const QVariantMap critical = FreedesktopNotificationCenter::hints({"임박", "본문", true, Urgency::critical});
  EXPECT_EQ(warning.value("desktop-entry").toString(), QStringLiteral("com.orrisfen.Quotabox"));
  // Servers read urgency only as a byte.
  ASSERT_EQ(warning.value("urgency").typeId(), QMetaType::UChar);
  EXPECT_EQ(std::pair(warning.value("urgency").value<uchar>(), critical.value("urgency").value<uchar>()),
            (std::pair<uchar, uchar>(1, 2)));
  EXPECT_TRUE(warning.value("suppress-sound").toBool());
  EXPECT_FALSE(critical.value("suppress-sound").toBool());
  EXPECT_FALSE(critical.value("sound-name").toString().isEmpty());
}
