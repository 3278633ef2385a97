#include "platform/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus)) {}

SingleInstance::~SingleInstance() {
  if (!m_owned) return;
  m_bus.unregisterObject(QString::fromLatin1(objectPath));
  m_bus.unregisterService(QString::fromLatin1(serviceName));
}

SingleInstance::Claim SingleInstance::claim() {
  if (m_owned) return Claim::owned;
  if (!m_bus.isConnected() || !m_bus.interface()) return Claim::noBus;
  const auto reply =
      m_bus.interface()->registerService(QString::fromLatin1(serviceName), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) return Claim::noBus;
  if (reply.value() != QDBusConnectionInterface::ServiceRegistered) return Claim::taken;
  m_owned = m_bus.registerObject(QString::fromLatin1(objectPath), this, QDBusConnection::ExportScriptableSlots);
  return Claim::owned;
}

bool SingleInstance::askRunningToOpen(QDBusConnection bus) {
  if (!bus.isConnected()) return false;
  const QDBusMessage call =
      QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
                                     QString::fromLatin1(serviceName), QStringLiteral("OpenPopover"));
  return bus.call(call, QDBus::BlockWithGui, callTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::OpenPopover() { emit openRequested(); }
