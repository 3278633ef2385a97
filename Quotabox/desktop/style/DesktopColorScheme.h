#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>
#include <optional>

// Whether the desktop prefers dark windows: the appearance portal's color-scheme when it states a
// preference, otherwise `fallback` (the Qt platform theme's shade, light without one). Starts at
// the fallback and asks the portal without waiting; `changed` follows its answers.
class DesktopColorScheme : public QObject {
  Q_OBJECT

 public:
  static constexpr int readTimeoutMs = 500;

  // `portal` names the portal's bus service (tests run their own or none).
  DesktopColorScheme(QDBusConnection bus, bool fallback,
                     QString portal = QStringLiteral("org.freedesktop.portal.Desktop"), QObject* parent = nullptr);

  bool isDark() const { return m_dark; }

  // The portal's value, possibly nested in variants: 1 prefers dark, 2 light, anything else none.
  static std::optional<bool> preference(const QVariant& value);

 signals:
  void changed(bool dark);

 private Q_SLOTS:
  void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

 private:
  void read(const QString& method);
  void apply(const QVariant& value);

  QDBusConnection m_bus;
  QString m_portal;
  bool m_fallback;
  bool m_dark;
};
