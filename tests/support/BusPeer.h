#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <functional>
#include <optional>

#include "EventLoop.h"

// Names unique to this process: ctest runs the cases of a folder in parallel on one session bus.
inline QString uniqueBusName(const char* base) {
  return QStringLiteral("com.orrisfen.QuotaboxTest.%1.p%2")
      .arg(QLatin1String(base))
      .arg(QCoreApplication::applicationPid());
}

// Waits until whatever the bus sent `bus` so far has been handled: the answer to a call made now
// comes after it. Lets a test see that an earlier call's answer changed nothing.
inline void busRoundTrip(const QDBusConnection& bus) {
  QDBusPendingCallWatcher watcher(bus.asyncCall(
      QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"))));
  EXPECT_TRUE(waitUntil([&] { return watcher.isFinished(); }));
  drainEvents();
}

// A bus object that answers what `handle` takes: the reply's one argument (an invalid variant for
// an empty reply), or nothing for calls it does not take.
class FakeBusObject : public QDBusVirtualObject {
 public:
  using Handler = std::function<std::optional<QVariant>(const QDBusMessage&)>;
  explicit FakeBusObject(Handler handle) : m_handle(std::move(handle)) {}
  // Answers `method` alone with `answer`, remembering each call's first argument in `received`.
  static Handler recording(const char* method, QStringList& received, QVariant answer = {}) {
    return [method = QLatin1String(method), &received, answer](const QDBusMessage& call) -> std::optional<QVariant> {
      if (call.member() != method) return std::nullopt;
      received << call.arguments().value(0).toString();
      return answer;
    };
  }
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const std::optional<QVariant> answer = m_handle(message);
    if (!answer) return false;
    connection.send(answer->isValid() ? message.createReply(*answer) : message.createReply());
    return true;
  }

 private:
  Handler m_handle;
};

// Another client of the session bus, as a tray host, a portal or a compositor would be; it leaves
// the bus with the test.
struct BusPeer {
  explicit BusPeer(const QString& connection)
      : name(connection), bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {}
  // Also serves `object` at `path` (and below it) under the bus name `service`.
  BusPeer(const QString& connection, const char* path, FakeBusObject& object, const QString& service)
      : BusPeer(connection) {
    EXPECT_TRUE(bus.registerVirtualObject(QString::fromLatin1(path), &object, QDBusConnection::SubPath));
    EXPECT_TRUE(bus.registerService(service));
  }
  ~BusPeer() { QDBusConnection::disconnectFromBus(name); }

  // Calls without blocking the thread that serves the callee; an invalid message on time-out.
  QDBusMessage call(const QString& service, const char* path, const char* interface, const char* member,
                    const QVariantList& arguments = {}) const {
    QDBusMessage message = QDBusMessage::createMethodCall(service, QString::fromLatin1(path),
                                                          QString::fromLatin1(interface), QString::fromLatin1(member));
    message.setArguments(arguments);
    QDBusPendingCallWatcher watcher(bus.asyncCall(message, 3000));
    if (!waitUntil([&] { return watcher.isFinished(); })) return {};
    return watcher.reply();
  }
  // A property through org.freedesktop.DBus.Properties; invalid when the call fails.
  QVariant property(const QString& service, const char* path, const char* interface, const char* property) const {
    const QDBusMessage reply = call(service, path, "org.freedesktop.DBus.Properties", "Get",
                                    {QString::fromLatin1(interface), QString::fromLatin1(property)});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
  }

  QString name;
  QDBusConnection bus;
};
