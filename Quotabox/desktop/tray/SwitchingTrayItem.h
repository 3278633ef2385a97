#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>

#include "tray/TrayItem.h"

class QDBusServiceWatcher;

// The tray item of a Linux session: our StatusNotifierItem while a watcher is on the session bus,
// the XEmbed tray icon otherwise. The choice is made at start and again whenever a watcher
// appears or goes away; the current face carries over.
class SwitchingTrayItem : public TrayItem {
  Q_OBJECT

 public:
  enum class Kind { statusNotifier, systemTray };
  using Factory = std::function<std::unique_ptr<TrayItem>(Kind)>;

  // `factory` builds the implementations (tests pass fakes); by default the real ones on `bus`.
  // `watcher` names the watcher's bus service.
  explicit SwitchingTrayItem(QDBusConnection bus, Factory factory = {}, QString watcher = {},
                             QObject* parent = nullptr);
  ~SwitchingTrayItem() override;

  void show(const TrayFace& face) override;
  std::optional<QPoint> anchorPoint() const override;
  std::optional<QRect> iconGeometry() const override;

  Kind kind() const { return m_kind; }
  TrayItem* current() const { return m_current.get(); }

 signals:
  void kindChanged(Kind kind);

 private:
  void use(Kind kind);

  QDBusConnection m_bus;
  Factory m_factory;
  QDBusServiceWatcher* m_watcher = nullptr;
  std::unique_ptr<TrayItem> m_current;
  Kind m_kind = Kind::systemTray;
  std::optional<TrayFace> m_face;
  std::optional<QPoint> m_lastPoint;
};
