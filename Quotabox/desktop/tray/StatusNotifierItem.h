#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

#include "tray/SniTypes.h"
#include "tray/TrayHost.h"
#include "tray/TrayItem.h"
#include "tray/TrayMenu.h"

class QDBusServiceWatcher;
class StatusNotifierItemAdaptor;

// Our own StatusNotifierItem: serves /StatusNotifierItem under a unique bus name and registers it
// with org.kde.StatusNotifierWatcher, again whenever the watcher's owner changes (host restarted).
class StatusNotifierItem : public TrayItem {
  Q_OBJECT

 public:
  static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
  static constexpr const char* objectPath = "/StatusNotifierItem";
  static constexpr const char* menuPath = "/MenuBar";
  // What the Menu property says when there is no menu.
  static constexpr const char* noMenuPath = "/NO_DBUSMENU";

  // `watcher` names the watcher's bus service (tests run their own).
  explicit StatusNotifierItem(QDBusConnection bus, QString watcher = QString::fromLatin1(watcherService),
                              QObject* parent = nullptr);
  ~StatusNotifierItem() override;

  // Whether the bus name and the object could be claimed.
  bool isServed() const { return m_served; }
  const QString& serviceName() const { return m_serviceName; }

  void show(const TrayFace& face) override;
  std::optional<QPoint> anchorPoint() const override { return m_lastPoint; }
  void setMenu(TrayMenu* menu) override;

  // The item's state as the adaptor publishes it. The pixmaps are left out while the bus
  // connection holds more than `maxBacklogBytes` of unsent answers: a peer asking for them
  // faster than the bus carries them would otherwise grow that queue without bound.
  const TrayFace& face() const { return m_face; }
  SniPixmapList iconPixmap() const;
  static constexpr qint64 maxBacklogBytes = 4 << 20;
  // Unread calls held at most on the connection the item is served on (the library's default is
  // 63 MiB); a host's calls are a few hundred bytes each.
  static constexpr long maxUnreadBytes = 2 << 20;
  // The bytes queued on the connection; replaced in tests.
  std::function<qint64()> backlog;
  SniToolTip toolTip() const;
  QDBusObjectPath menuObjectPath() const;
  // The host found behind the watcher at the last registration.
  TrayHost host() const { return m_host; }

  // Calls from the host, through the adaptor. A call finds its answer at once unless the one
  // before it is still being handled in this turn of the event loop: calls of such a burst are
  // folded into one at its end (the toggles' parity, the last menu point), so a flood costs a
  // counter per call, not a window change per call.
  void activate(int x, int y);
  void secondaryActivate();
  void contextMenu(int x, int y);

 signals:
  // Emitted after each registration attempt with the watcher.
  void registrationFinished(bool ok);

 private:
  void registerWithWatcher();
  void sendRegistration();
  void setHost(TrayHost host);
  // The wide glyph for hosts that keep its aspect, else the square one when the face has it.
  // Whether the pixmaps changed.
  bool updatePixmapsChanged();
  // Applies what a burst of host calls left pending.
  void settleBurst();
  void scheduleSettle();

  QDBusConnection m_bus;
  QString m_watcherName;
  QString m_serviceName;
  bool m_served = false;
  StatusNotifierItemAdaptor* m_adaptor = nullptr;
  QDBusServiceWatcher* m_watcher = nullptr;
  QObject* m_menuObject = nullptr;
  QPointer<TrayMenu> m_menu;
  TrayHost m_host = TrayHost::unknown;
  TrayFace m_face;
  SniPixmapList m_pixmaps;
  std::optional<QPoint> m_lastPoint;
  bool m_settleScheduled = false;
  bool m_pendingToggle = false;  // an odd number of activations arrived during the burst
  QPoint m_pendingTogglePoint;
  bool m_pendingToggleHasPoint = false;
  std::optional<QPoint> m_pendingMenu;
};
