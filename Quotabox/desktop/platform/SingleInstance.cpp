#include "platform/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

bool SingleInstance::isForeign(const QDBusError& error) {
  switch (error.type()) {
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::InvalidSignature:
      return true;
    default:
      return false;
  }
}

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus)) {}

SingleInstance::~SingleInstance() {
  if (m_requested) m_bus.unregisterService(QString::fromLatin1(serviceName));
  if (m_registered) m_bus.unregisterObject(QString::fromLatin1(objectPath));
}

SingleInstance::Claim SingleInstance::claim() {
  return request(QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
}

SingleInstance::Claim SingleInstance::claimOrQueue() {
  return request(QDBusConnectionInterface::QueueService, QDBusConnectionInterface::AllowReplacement);
}

SingleInstance::Claim SingleInstance::takeOver() {
  return request(QDBusConnectionInterface::ReplaceExistingService, QDBusConnectionInterface::DontAllowReplacement);
}

SingleInstance::Claim SingleInstance::request(int queueOption, int replacementOption) {
  if (m_owns) return Claim::owned;
  if (!m_bus.isConnected() || !m_bus.interface()) return Claim::noBus;
  const QString name = QString::fromLatin1(serviceName);
  // The object first, so a call can never reach an owner that does not serve it yet.
  if (!m_registered) {
    m_registered =
        m_bus.registerObject(QString::fromLatin1(objectPath), this,
                             QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals);
  }
  if (!m_watcher) {
    m_watcher = new QDBusServiceWatcher(name, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
      // Asked afresh: a signal queued behind our own request may tell of an older owner.
      const auto owner = m_bus.interface()->serviceOwner(QString::fromLatin1(serviceName));
      setOwns(owner.isValid() && owner.value() == m_bus.baseService());
    });
  }
  const auto reply = m_bus.interface()->registerService(
      name, static_cast<QDBusConnectionInterface::ServiceQueueOptions>(queueOption),
      static_cast<QDBusConnectionInterface::ServiceReplacementOptions>(replacementOption));
  if (!reply.isValid()) return Claim::noBus;
  const auto result = reply.value();
  if (result == QDBusConnectionInterface::ServiceQueued) m_requested = true;
  if (result != QDBusConnectionInterface::ServiceRegistered) return Claim::taken;
  m_requested = true;
  setOwns(true);
  return Claim::owned;
}

void SingleInstance::setOwns(bool owns) {
  if (owns == m_owns) return;
  m_owns = owns;
  emit ownershipChanged(owns);
}

void SingleInstance::publish(const EngineState& state) {
  // Also unchanged: a completed refresh tells every bar that the engine is alive.
  m_state = state;
  emit Changed(state.text, state.cssClass, state.percentage, state.report, state.ready);
}

SingleInstance::Answer SingleInstance::askToOpen(QDBusConnection bus, int timeoutMs) {
  if (!bus.isConnected()) return Answer::unreachable;
  const QDBusMessage call =
      QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
                                     QString::fromLatin1(interfaceName), QStringLiteral("OpenPopover"));
  const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage)
    return isForeign(QDBusError(reply)) ? Answer::foreign : Answer::unreachable;
  // An owner from before popovers answered becomes a plain reply: it opened one.
  const QVariant opened = reply.arguments().value(0);
  return !opened.isValid() || opened.toBool() ? Answer::opened : Answer::noPopover;
}

bool SingleInstance::OpenPopover() {
  if (!m_hasPopover) return false;
  emit openRequested();
  return true;
}

void SingleInstance::Refresh() { emit refreshRequested(); }

QString SingleInstance::State(QString& cssClass, int& percentage, QString& report, bool& ready) {
  cssClass = m_state.cssClass;
  percentage = m_state.percentage;
  report = m_state.report;
  ready = m_state.ready;
  return m_state.text;
}
