#include "style/DesktopColorScheme.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace {
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
}  // namespace

DesktopColorScheme::DesktopColorScheme(QDBusConnection bus, bool fallback, QString portal, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_portal(std::move(portal)), m_fallback(fallback), m_dark(fallback) {
  if (!m_bus.isConnected()) return;
  // Qt D-Bus finds the slot's variant parameter by type name, which needs the registration.
  qRegisterMetaType<QDBusVariant>();
  m_bus.connect(m_portal, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QString, QString, QDBusVariant)));
  read(QStringLiteral("ReadOne"));
}

std::optional<bool> DesktopColorScheme::preference(const QVariant& value) {
  QVariant inner = value;
  // Read wraps the value in one more variant than ReadOne; never unwrap without bound.
  for (int depth = 0; depth < 3 && inner.userType() == qMetaTypeId<QDBusVariant>(); ++depth) {
    inner = qvariant_cast<QDBusVariant>(inner).variant();
  }
  bool ok = false;
  const uint scheme = inner.toUInt(&ok);
  if (!ok || (scheme != 1 && scheme != 2)) return std::nullopt;
  return scheme == 1;
}

void DesktopColorScheme::read(const QString& method) {
  QDBusMessage call = QDBusMessage::createMethodCall(m_portal, portalPath, settingsInterface, method);
  call << appearanceGroup << colorSchemeKey;
  auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, readTimeoutMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, method](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusMessage reply = finished->reply();
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      apply(reply.arguments().constFirst());
    } else if (method == QLatin1String("ReadOne") &&
               reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
      // Portals before version 2 only have Read.
      read(QStringLiteral("Read"));
    }
  });
}

void DesktopColorScheme::onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
  if (group == appearanceGroup && key == colorSchemeKey) apply(value.variant());
}

void DesktopColorScheme::apply(const QVariant& value) {
  const bool dark = preference(value).value_or(m_fallback);
  if (dark == m_dark) return;
  m_dark = dark;
  emit changed(dark);
}
