#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QVariantMap>
#include <optional>

#include "notifications/NotificationCenter.h"

// Notifications through org.freedesktop.Notifications on a D-Bus connection. Each identifier
// keeps the server's id of its last notification, so the next one replaces it (replaces_id).
// Calls are asynchronous; a notification for an identifier whose previous call is still
// unanswered waits for that answer, so it can replace the right one.
class FreedesktopNotificationCenter : public QObject, public NotificationCenter {
  Q_OBJECT

 public:
  explicit FreedesktopNotificationCenter(QDBusConnection bus = QDBusConnection::sessionBus(),
                                         QObject* parent = nullptr);

  // The notification server's well-known name and object path.
  static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
  static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

  // Whether a notification server owns, or can be started for, the service name on `bus`.
  static bool isAvailable(const QDBusConnection& bus);

  // Servers have no permission model: notifications are allowed whenever the bus is there, even
  // before a server has started; canShowNow() tells whether one runs at delivery time.
  Authorization authorizationStatus() override;
  bool requestAuthorization() override;
  bool canShowNow() override;
  void add(const QString& identifier, const NotificationContent& content) override;

  // The Notify hints for `content`: desktop entry, urgency and sound.
  static QVariantMap hints(const NotificationContent& content);

  // The server's id of the last notification shown for `identifier`.
  std::optional<quint32> serverId(const QString& identifier) const;
  // No call waiting for the server's answer.
  bool isIdle() const;

 private:
  struct Slot {
    quint32 serverId = 0;
    bool inFlight = false;
    std::optional<NotificationContent> queued;
  };

  void send(const QString& identifier, const NotificationContent& content);
  void finished(const QString& identifier, std::optional<quint32> serverId);

  QDBusConnection m_bus;
  QHash<QString, Slot> m_slots;
};
