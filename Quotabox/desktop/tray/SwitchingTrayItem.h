#pragma once

#include <QDBusConnection>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "tray/TrayItem.h"
#include "tray/TrayMenu.h"

class QDBusServiceWatcher;

// The tray item of a Linux session: our StatusNotifierItem while a watcher is on the session bus,
// the XEmbed tray icon otherwise. The choice is made at start and again whenever a watcher
// appears or goes away; the current face carries over.
class SwitchingTrayItem : public TrayItem {
  Q_OBJECT

 public:
  enum class Kind { statusNotifier, systemTray };
  using Factory = std::function<std::unique_ptr<TrayItem>(Kind)>;
  // Whether an XEmbed tray is there to take the system-tray icon.
  using TrayCheck = std::function<bool()>;
  // How often the tray is looked for again while there is no host at all.
  static constexpr int hostRecheckMs = 3000;

  // `factory` builds the implementations (tests pass fakes); by default the real ones on `bus`.
  // `watcher` names the watcher's bus service.
  explicit SwitchingTrayItem(QDBusConnection bus, Factory factory = {}, QString watcher = {},
                             QObject* parent = nullptr);
  ~SwitchingTrayItem() override;

  void show(const TrayFace& face) override;
  std::optional<QPoint> anchorPoint() const override;
  std::optional<QRect> iconGeometry() const override;
  void setMenu(TrayMenu* menu) override;

  // Replaces the XEmbed tray check (tests) and checks again.
  void setTrayCheck(TrayCheck check);
  // Whether anything shows the item: a watcher on the bus, or an XEmbed tray.
  bool hasHost() const { return m_hasHost; }

  Kind kind() const { return m_kind; }
  TrayItem* current() const { return m_current.get(); }

 signals:
  void kindChanged(Kind kind);
  void hostChanged(bool hasHost);

 private:
  void use(Kind kind);
  void checkHost();

  QDBusConnection m_bus;
  Factory m_factory;
  QDBusServiceWatcher* m_watcher = nullptr;
  std::unique_ptr<TrayItem> m_current;
  Kind m_kind = Kind::systemTray;
  std::optional<TrayFace> m_face;
  std::optional<QPoint> m_lastPoint;
  QPointer<TrayMenu> m_menu;
  TrayCheck m_trayCheck;
  bool m_hasHost = true;
  // Runs only while there is no host: no watcher signal tells of an XEmbed tray appearing.
  QTimer m_recheck;
};
