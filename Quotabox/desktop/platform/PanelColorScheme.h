#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>
#include <optional>

// Whether the panel is dark, which decides the glyph's neutral colour (tray hosts do not tint
// icons). Follows the desktop portal's org.freedesktop.appearance color-scheme when there is one;
// dark until it answers, and when it has no preference, because most Linux panels are dark.
class PanelColorScheme : public QObject {
  Q_OBJECT

 public:
  static constexpr int readTimeoutMs = 500;

  // Asks the portal without waiting for it; `changed` follows once it answers.
  // `portal` names the portal's bus service (tests run their own).
  explicit PanelColorScheme(QDBusConnection bus, QString portal = QStringLiteral("org.freedesktop.portal.Desktop"),
                            QObject* parent = nullptr);

  bool isDark() const { return m_dark; }

  // The portal's value: 1 prefers dark, 2 prefers light, anything else has no preference (absent).
  // Accepts the value nested in D-Bus variants, as Read and ReadOne answer.
  static std::optional<bool> darkFromPortalValue(const QVariant& value);

 signals:
  void changed(bool dark);

 private Q_SLOTS:
  void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

 private:
  void read(const QString& method);
  void apply(const QVariant& value);

  QDBusConnection m_bus;
  QString m_portal;
  bool m_dark = true;
};
