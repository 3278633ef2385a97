#include "platform/PanelColorScheme.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QList>

#include "files/RegularFile.h"
#include "files/XdgPaths.h"

namespace {
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
}  // namespace

PanelColorScheme::PanelColorScheme(QDBusConnection bus, QString portal, Fallback fallback, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_portal(std::move(portal)) {
  m_fallbackDark = fallback.dark();
  m_dark = m_fallbackDark;
  if (!m_bus.isConnected()) return;
  // A slot taking a variant is connected only once its type is registered; else silently never.
  qRegisterMetaType<QDBusVariant>();
  m_bus.connect(m_portal, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QString, QString, QDBusVariant)));
  read(QStringLiteral("ReadOne"));
}

std::optional<bool> PanelColorScheme::darkFromPortalValue(const QVariant& value) {
  QVariant inner = value;
  // Read wraps the value in one more variant than ReadOne; never unwrap without bound.
  for (int depth = 0; depth < 3 && inner.canConvert<QDBusVariant>() && inner.userType() == qMetaTypeId<QDBusVariant>();
       ++depth) {
    inner = qvariant_cast<QDBusVariant>(inner).variant();
  }
  bool ok = false;
  const uint scheme = inner.toUInt(&ok);
  if (!ok) return std::nullopt;
  if (scheme == 1) return true;
  if (scheme == 2) return false;
  return std::nullopt;
}

void PanelColorScheme::read(const QString& method) {
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

void PanelColorScheme::onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
  if (group == appearanceGroup && key == colorSchemeKey) apply(value.variant());
}

void PanelColorScheme::apply(const QVariant& value) {
  const bool dark = darkFromPortalValue(value).value_or(m_fallbackDark);
  if (dark == m_dark) return;
  m_dark = dark;
  emit changed(dark);
}

PanelColorScheme::Fallback PanelColorScheme::Fallback::fromEnvironment() {
  Fallback fallback;
  const QString desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
  for (const QString& desktop : desktops.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    if (desktop.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0) fallback.onPlasma = true;
  }
  fallback.kdeGlobalsPath = XdgPaths::configHome() + QStringLiteral("/kdeglobals");
  return fallback;
}

bool PanelColorScheme::Fallback::dark() const {
  if (!onPlasma) return true;
  std::error_code error;
  const auto text =
      RegularFile::read(kdeGlobalsPath.toStdString(), static_cast<std::uintmax_t>(kdeGlobalsLimit), error);
  if (!text) return false;
  return darkFromKdeGlobals(QByteArray::fromStdString(*text)).value_or(false);
}

std::optional<bool> PanelColorScheme::darkFromKdeGlobals(const QByteArray& text) {
  QByteArray section;
  std::optional<bool> byBackground;
  std::optional<bool> byName;
  for (const QByteArray& rawLine : text.split('\n')) {
    const QByteArray line = rawLine.trimmed();
    if (line.startsWith('[')) {
      section = line;
      continue;
    }
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0) continue;
    const QByteArray key = line.left(equals).trimmed();
    const QByteArray value = line.mid(equals + 1).trimmed();
    if (section == "[Colors:Window]" && key == "BackgroundNormal") {
      const QList<QByteArray> parts = value.split(',');
      if (parts.size() < 3) continue;
      bool ok[3] = {};
      const int r = parts[0].trimmed().toInt(&ok[0]);
      const int g = parts[1].trimmed().toInt(&ok[1]);
      const int b = parts[2].trimmed().toInt(&ok[2]);
      if (!ok[0] || !ok[1] || !ok[2]) continue;
      // Perceived brightness, 0 to 255.
      byBackground = (299 * r + 587 * g + 114 * b) / 1000 < 128;
    } else if (section == "[General]" && key == "ColorScheme") {
      byName = value.contains("Dark") || value.contains("dark");
    }
  }
  return byBackground ? byBackground : byName;
}
