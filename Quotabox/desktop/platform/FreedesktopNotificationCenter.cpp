#include "platform/FreedesktopNotificationCenter.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QVariantMap>

namespace {
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The installed icon and desktop entry share the application id.
const QString kAppId = QStringLiteral("com.orrisfen.Quotabox");
// A notification server that hangs must not keep an answer pending forever.
constexpr int kCallTimeoutMs = 10000;
}  // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

bool FreedesktopNotificationCenter::isAvailable(const QDBusConnection& bus) {
  if (!bus.isConnected()) return false;
  QDBusConnectionInterface* daemon = bus.interface();
  if (!daemon) return false;
  const QDBusReply<bool> registered = daemon->isServiceRegistered(kService);
  if (registered.isValid() && registered.value()) return true;
  const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
  return activatable.isValid() && activatable.value().contains(kService);
}

NotificationCenter::Authorization FreedesktopNotificationCenter::authorizationStatus() {
  return m_bus.isConnected() ? Authorization::allowed : Authorization::other;
}

bool FreedesktopNotificationCenter::requestAuthorization() { return isAvailable(m_bus); }

bool FreedesktopNotificationCenter::canShowNow() { return isAvailable(m_bus); }

void FreedesktopNotificationCenter::add(const QString& identifier, const NotificationContent& content) {
  Slot& slot = m_slots[identifier];
  if (slot.inFlight) {
    // Only the newest content matters once the earlier call is answered.
    slot.queued = content;
    return;
  }
  send(identifier, content);
}

void FreedesktopNotificationCenter::send(const QString& identifier, const NotificationContent& content) {
  Slot& slot = m_slots[identifier];
  slot.inFlight = true;

  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  call << QStringLiteral("Quotabox") << QVariant::fromValue<quint32>(slot.serverId) << kAppId << content.title
       << content.body << QStringList() << hints(content) << QVariant::fromValue<qint32>(-1);

  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, identifier](QDBusPendingCallWatcher* done) {
    done->deleteLater();
    const QDBusPendingReply<quint32> reply = *done;
    finished(identifier, reply.isValid() ? std::optional<quint32>(reply.value()) : std::nullopt);
  });
}

QVariantMap FreedesktopNotificationCenter::hints(const NotificationContent& content) {
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), kAppId);
  // Notification servers read urgency only as a byte (D-Bus type y).
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(content.urgency)));
  if (content.sound) {
    hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    hints.insert(QStringLiteral("suppress-sound"), false);
  } else {
    hints.insert(QStringLiteral("suppress-sound"), true);
  }
  return hints;
}

void FreedesktopNotificationCenter::finished(const QString& identifier, std::optional<quint32> serverId) {
  Slot& slot = m_slots[identifier];
  slot.inFlight = false;
  if (serverId && *serverId != 0) slot.serverId = *serverId;
  if (slot.queued) {
    const NotificationContent next = *slot.queued;
    slot.queued.reset();
    send(identifier, next);
  }
}

std::optional<quint32> FreedesktopNotificationCenter::serverId(const QString& identifier) const {
  const auto found = m_slots.constFind(identifier);
  if (found == m_slots.constEnd() || found->serverId == 0) return std::nullopt;
  return found->serverId;
}

bool FreedesktopNotificationCenter::isIdle() const {
  for (const Slot& slot : m_slots) {
    if (slot.inFlight) return false;
  }
  return true;
}

std::shared_ptr<NotificationCenter> NotificationCenter::platform() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  // With a bus, a server that is missing now may start later; canShowNow() looks again.
  if (!bus.isConnected()) return nullptr;
  return std::make_shared<FreedesktopNotificationCenter>(bus);
}
