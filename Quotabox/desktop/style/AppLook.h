#pragma once

#include <QDBusConnection>
#include <optional>
#include <string>

class QApplication;

// The application's one look: Fusion under the control style sheet, the UI font and the app's
// palette, for every widget, popup and menu.
namespace AppLook {
// Light or dark, at once, for the whole application.
void apply(bool dark);
// Whether the look in use is the dark one.
bool isDark();
// `forced` ("light" or "dark", from the command line) pins the shade. Otherwise it follows the
// desktop: the appearance portal on `bus`, else the Qt platform theme's palette, else light.
// `portal` names the portal's bus service.
void follow(QApplication& app, const std::optional<std::string>& forced,
            QDBusConnection bus = QDBusConnection::sessionBus(),
            const QString& portal = QStringLiteral("org.freedesktop.portal.Desktop"));
}  // namespace AppLook

// Gives the application its look at start.
inline void applyAppLook(QApplication& app, const std::optional<std::string>& forced) { AppLook::follow(app, forced); }
