#include "style/AppLook.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include "style/AppPalette.h"
#include "style/ControlStyle.h"
#include "style/DesktopColorScheme.h"
#include "style/Look.h"

namespace AppLook {

void apply(bool dark) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QFont font = QApplication::font();
  font.setFamilies(Look::fontFamilies());
  QApplication::setFont(font);
  QApplication::setPalette(AppPalette::palette(dark));
  // Colours in the sheet are literal, so it is set again for the other shade.
  qApp->setStyleSheet(ControlStyle::sheet(dark));
}

bool isDark() { return AppPalette::isDark(QApplication::palette()); }

void follow(QApplication& app, const std::optional<std::string>& forced, QDBusConnection bus, const QString& portal) {
  if (forced) {
    apply(*forced == "dark");
    return;
  }
  // Before our palette replaces it, the application palette is the platform theme's (Fusion's
  // light one when the theme has none).
  const bool themeDark = AppPalette::isDark(QApplication::palette());
  auto* scheme = new DesktopColorScheme(std::move(bus), themeDark, portal, &app);
  apply(scheme->isDark());
  QObject::connect(scheme, &DesktopColorScheme::changed, &app, [](bool dark) { apply(dark); });
}

}  // namespace AppLook
