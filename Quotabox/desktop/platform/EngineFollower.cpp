#include "platform/EngineFollower.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "platform/SingleInstance.h"

namespace {
QDBusMessage engineCall(const char* method) {
  return QDBusMessage::createMethodCall(QString::fromLatin1(SingleInstance::serviceName),
                                        QString::fromLatin1(SingleInstance::objectPath),
                                        QString::fromLatin1(SingleInstance::interfaceName), QLatin1String(method));
}

// The slot that takes the engine's Changed signal, in the form SLOT() gives.
constexpr char kOnChanged[] = "1onChanged(QString,QString,int,QString,bool)";

// A busy engine may answer late; a foreign owner, one that lacks the object or method, never will.
constexpr int kStateAttempts = 3;
}  // namespace

EngineFollower::EngineFollower(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus)) {}

EngineFollower::~EngineFollower() { stop(); }

void EngineFollower::follow() {
  if (m_following || !m_bus.isConnected()) return;
  // Signals follow whichever process owns the name at the time.
  m_following =
      m_bus.connect(QString::fromLatin1(SingleInstance::serviceName), QString::fromLatin1(SingleInstance::objectPath),
                    QString::fromLatin1(SingleInstance::interfaceName), QStringLiteral("Changed"), this, kOnChanged);
  ++m_generation;
  askState(1);
}

void EngineFollower::stop() {
  if (!m_following) return;
  m_bus.disconnect(QString::fromLatin1(SingleInstance::serviceName), QString::fromLatin1(SingleInstance::objectPath),
                   QString::fromLatin1(SingleInstance::interfaceName), QStringLiteral("Changed"), this, kOnChanged);
  m_following = false;
  ++m_generation;
}

namespace {
QString currentOwner(const QDBusConnection& bus) {
  if (!bus.interface()) return {};
  const auto owner = bus.interface()->serviceOwner(QString::fromLatin1(SingleInstance::serviceName));
  return owner.isValid() ? owner.value() : QString();
}
}  // namespace

void EngineFollower::askState(int attempt) {
  const QString owner = currentOwner(m_bus);
  auto* watcher =
      new QDBusPendingCallWatcher(m_bus.asyncCall(engineCall("State"), SingleInstance::callTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, watcher, attempt, owner, generation = m_generation] {
            watcher->deleteLater();
            if (generation != m_generation) return;
            const QDBusMessage reply = watcher->reply();
            if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 5) {
              const QVariantList values = reply.arguments();
              emit stateReceived({values[0].toString(), values[1].toString(), values[2].toInt(), values[3].toString(),
                                  values[4].toBool()});
              return;
            }
            // A busy engine, or one that ended meanwhile, is no foreign owner: ask again.
            const bool foreign = SingleInstance::isForeign(watcher->error()) && currentOwner(m_bus) == owner;
            // An owner that never answers leaves the bar as blank as a foreign one.
            if (!foreign && attempt < kStateAttempts) {
              askState(attempt + 1);
            } else {
              emit notAnEngine();
            }
          });
}

void EngineFollower::requestRefresh() {
  if (!m_bus.isConnected()) return;
  m_bus.asyncCall(engineCall("Refresh"), SingleInstance::callTimeoutMs);
}

EngineFollower::Refresh EngineFollower::askToRefresh(QDBusConnection bus, int timeoutMs) {
  if (!bus.isConnected()) return Refresh::noEngine;
  const QDBusMessage reply = bus.call(engineCall("Refresh"), QDBus::Block, timeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage ? Refresh::asked : Refresh::noEngine;
}

void EngineFollower::onChanged(const QString& text, const QString& cssClass, int percentage, const QString& report,
                               bool ready) {
  emit stateReceived({text, cssClass, percentage, report, ready});
}
