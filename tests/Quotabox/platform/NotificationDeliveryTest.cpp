#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include "EventLoop.h"
#include "platform/FreedesktopNotificationCenter.h"

namespace {
QDBusMessage callServer(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                     QStringLiteral("/org/freedesktop/Notifications"), interface, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

// Closes the notification and, once it is in dunst's history, returns the history entries that
// have its id or hold `token` in their summary or body.
QList<QVariantMap> closeAndReadHistory(quint32 id, const QString& token) {
  callServer(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("CloseNotification"),
             {QVariant::fromValue(id)});
  QList<QVariantMap> ours;
  const bool arrived = waitUntil([&] {
    const QDBusMessage reply =
        callServer(QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("NotificationListHistory"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    const QDBusArgument argument = reply.arguments().first().value<QDBusArgument>();
    ours.clear();
    bool found = false;
    argument.beginArray();
    while (!argument.atEnd()) {
      QVariantMap entry;
      argument >> entry;
      found = found || entry.value("id").toUInt() == id;
      if (entry.value("id").toUInt() == id || entry.value("summary").toString().contains(token) ||
          entry.value("body").toString().contains(token)) {
        ours.append(entry);
      }
    }
    argument.endArray();
    return found;
  });
  EXPECT_TRUE(arrived) << "the notification never reached dunst's history";
  return ours;
}

class NotificationDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FreedesktopNotificationCenter::isAvailable(QDBusConnection::sessionBus())) {
      GTEST_SKIP() << "no notification server on the session bus; run the tests under scripts/with-session";
    }
  }
  // Unique per run, so parallel runs against the same server cannot be mistaken for ours.
  const QString token = QUuid::createUuid().toString(QUuid::Id128);
};
}  // namespace

// A session bus of its own without service activation, so no notification server is on it
// until the test takes the name.
class PrivateBus {
 public:
  PrivateBus() {
    QFile config(m_folder.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly)) return;
    config.write(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=)" +
                 QFile::encodeName(m_folder.path()) + R"(</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
</policy></busconfig>)");
    config.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
    if (!waitUntil([&] { return m_daemon.canReadLine(); }, std::chrono::seconds(10))) return;
    const QString address = QString::fromUtf8(m_daemon.readLine().trimmed());
    bus = QDBusConnection::connectToBus(address, QStringLiteral("private-") + QUuid::createUuid().toString());
  }
  ~PrivateBus() {
    // Closed while the daemon still runs; libdbus aborts on a private connection dropped unclosed.
    const QString name = bus.name();
    bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);
    m_daemon.terminate();
    m_daemon.waitForFinished(5000);
  }

  QDBusConnection bus{QStringLiteral("unset")};

 private:
  QTemporaryDir m_folder;
  QProcess m_daemon;
};

// A server that starts after the program (a race at login) is found at the next delivery.
TEST(NotificationDelivery, AServerThatStartsLateIsFoundAtTheNextDelivery) {
  if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) GTEST_SKIP() << "no dbus-daemon";
  PrivateBus session;
  ASSERT_TRUE(session.bus.isConnected());
  FreedesktopNotificationCenter center(session.bus);
  EXPECT_FALSE(center.canShowNow());
  ASSERT_TRUE(session.bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
  EXPECT_TRUE(center.canShowNow());
}

TEST(NotificationDelivery, ADisconnectedBusHasNoNotificationServer) {
  EXPECT_FALSE(FreedesktopNotificationCenter::isAvailable(QDBusConnection(QStringLiteral("quotabox-not-connected"))));
}

TEST_F(NotificationDeliveryTest, NotificationsForOneIdentifierReplaceTheirPredecessor) {
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
