#include "platform/PanelColorScheme.h"

#include <QList>

#include "files/RegularFile.h"
#include "files/XdgPaths.h"

PanelColorScheme::PanelColorScheme(QDBusConnection bus, QString portal, Fallback fallback, QObject* parent)
    : QObject(parent), m_portal(std::move(bus), fallback.dark(), std::move(portal)) {
  connect(&m_portal, &DesktopColorScheme::changed, this, &PanelColorScheme::changed);
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
