#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariant>
#include <optional>

#include "style/DesktopColorScheme.h"

// Whether the panel is dark, which decides the glyph's neutral colour (tray hosts do not tint
// icons). Follows the desktop portal's org.freedesktop.appearance color-scheme when there is one.
// Until it answers, and when it has no preference: on Plasma the colour scheme in kdeglobals
// (light when it names none, as Plasma's default panel is), elsewhere dark, because most Linux
// panels are dark.
class PanelColorScheme : public QObject {
  Q_OBJECT

 public:
  // kdeglobals is a small INI file; anything larger is not read.
  static constexpr qint64 kdeGlobalsLimit = 256 * 1024;

  // Where the answer comes from when the portal gives none.
  struct Fallback {
    bool onPlasma = false;
    QString kdeGlobalsPath;
    // XDG_CURRENT_DESKTOP naming KDE, and kdeglobals in the user's configuration folder.
    static Fallback fromEnvironment();
    bool dark() const;
  };

  // Asks the portal without waiting for it; `changed` follows once it answers.
  // `portal` names the portal's bus service (tests run their own).
  explicit PanelColorScheme(QDBusConnection bus, QString portal = QStringLiteral("org.freedesktop.portal.Desktop"),
                            Fallback fallback = Fallback::fromEnvironment(), QObject* parent = nullptr);

  bool isDark() const { return m_portal.isDark(); }

  // The portal's value: 1 prefers dark, 2 prefers light, anything else has no preference (absent).
  // Accepts the value nested in D-Bus variants, as Read and ReadOne answer.
  static std::optional<bool> darkFromPortalValue(const QVariant& value) {
    return DesktopColorScheme::preference(value);
  }
  // From kdeglobals: the window background of [Colors:Window] (dark below mid grey), else whether
  // [General] ColorScheme names a dark scheme. Absent when the file says neither.
  static std::optional<bool> darkFromKdeGlobals(const QByteArray& text);

 signals:
  void changed(bool dark);

 private:
  // The same portal reader as the windows' shade, with the panel's own fallback.
  DesktopColorScheme m_portal;
};
