#pragma once

#include <QDBusConnection>
#include <QString>
#include <optional>

// One notification posted and taken away again through org.freedesktop.Notifications, for the
// system check: unlike the threshold notifications it needs the server's answer at once.
class DesktopNotice {
 public:
  // Raw permission as the report states it.
  enum Authorization { noSessionBus = 0, noServer = 1, serverPresent = 2 };

  explicit DesktopNotice(QDBusConnection bus = QDBusConnection::sessionBus()) : m_bus(std::move(bus)) {}

  Authorization authorization() const;
  // The server's id, or nullopt when it refused or did not answer within a few seconds.
  std::optional<quint32> post(const QString& title, const QString& body) const;
  bool close(quint32 id) const;

 private:
  QDBusConnection m_bus;
};
