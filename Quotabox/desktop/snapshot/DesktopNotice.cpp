#include "snapshot/DesktopNotice.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QVariantMap>

#include "platform/FreedesktopNotificationCenter.h"

namespace {
// A server that does not answer in this time counts as not having shown the notification.
constexpr int kNoticeTimeoutMs = 5000;
}  // namespace

DesktopNotice::Authorization DesktopNotice::authorization() const {
  if (!m_bus.isConnected()) return noSessionBus;
  return FreedesktopNotificationCenter::isAvailable(m_bus) ? serverPresent : noServer;
}

std::optional<quint32> DesktopNotice::post(const QString& title, const QString& body) const {
  QDBusInterface server(FreedesktopNotificationCenter::kService, FreedesktopNotificationCenter::kPath,
                        FreedesktopNotificationCenter::kService, m_bus);
  server.setTimeout(kNoticeTimeoutMs);
  const QDBusReply<quint32> reply = server.call(QStringLiteral("Notify"), QStringLiteral("Quotabox"), quint32(0),
                                                QString(), title, body, QStringList(), QVariantMap(), qint32(-1));
  if (!reply.isValid() || reply.value() == 0) return std::nullopt;
  return reply.value();
}

bool DesktopNotice::close(quint32 id) const {
  QDBusInterface server(FreedesktopNotificationCenter::kService, FreedesktopNotificationCenter::kPath,
                        FreedesktopNotificationCenter::kService, m_bus);
  server.setTimeout(kNoticeTimeoutMs);
  const QDBusMessage reply = server.call(QStringLiteral("CloseNotification"), id);
  return reply.type() == QDBusMessage::ReplyMessage;
}
