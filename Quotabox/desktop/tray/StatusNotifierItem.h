#pragma once

#include <QDBusConnection>
#include <QString>
#include <optional>

#include "tray/SniTypes.h"
#include "tray/TrayItem.h"

class QDBusServiceWatcher;
class StatusNotifierItemAdaptor;

// Our own StatusNotifierItem: serves /StatusNotifierItem under a unique bus name and registers it
// with org.kde.StatusNotifierWatcher, again whenever the watcher's owner changes (host restarted).
class StatusNotifierItem : public TrayItem {
  Q_OBJECT

 public:
  static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
  static constexpr const char* objectPath = "/StatusNotifierItem";

  // `watcher` names the watcher's bus service (tests run their own).
  explicit StatusNotifierItem(QDBusConnection bus, QString watcher = QString::fromLatin1(watcherService),
                              QObject* parent = nullptr);
  ~StatusNotifierItem() override;

  // Whether the bus name and the object could be claimed.
  bool isServed() const { return m_served; }
  const QString& serviceName() const { return m_serviceName; }

  void show(const TrayFace& face) override;
  std::optional<QPoint> anchorPoint() const override { return m_lastPoint; }

  // The item's state as the adaptor publishes it.
  const TrayFace& face() const { return m_face; }
  SniPixmapList iconPixmap() const { return m_pixmaps; }
  SniToolTip toolTip() const;

  // Calls from the host, through the adaptor.
  void activate(int x, int y);
  void secondaryActivate();
  void contextMenu(int x, int y);

 signals:
  // Emitted after each registration attempt with the watcher.
  void registrationFinished(bool ok);

 private:
  void registerWithWatcher();

  QDBusConnection m_bus;
  QString m_watcherName;
  QString m_serviceName;
  bool m_served = false;
  StatusNotifierItemAdaptor* m_adaptor = nullptr;
  QDBusServiceWatcher* m_watcher = nullptr;
  TrayFace m_face;
  SniPixmapList m_pixmaps;
  std::optional<QPoint> m_lastPoint;
};
