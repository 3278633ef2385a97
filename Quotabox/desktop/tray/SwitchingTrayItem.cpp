#include "tray/SwitchingTrayItem.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QSystemTrayIcon>

#include "tray/StatusNotifierItem.h"
#include "tray/SystemTrayItem.h"

SwitchingTrayItem::SwitchingTrayItem(QDBusConnection bus, Factory factory, QString watcherName, QObject* parent)
    : TrayItem(parent), m_bus(std::move(bus)), m_factory(std::move(factory)) {
  const QString watcher =
      watcherName.isEmpty() ? QString::fromLatin1(StatusNotifierItem::watcherService) : std::move(watcherName);
  if (!m_factory) {
    m_factory = [bus = m_bus, watcher](Kind kind) -> std::unique_ptr<TrayItem> {
      if (kind == Kind::statusNotifier) return std::make_unique<StatusNotifierItem>(bus, watcher);
      return std::make_unique<SystemTrayItem>();
    };
  }
  m_trayCheck = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  m_recheck.setInterval(hostRecheckMs);
  connect(&m_recheck, &QTimer::timeout, this, &SwitchingTrayItem::checkHost);
  bool watcherPresent = false;
  if (m_bus.isConnected()) {
    m_watcher = new QDBusServiceWatcher(
        watcher, m_bus, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { use(Kind::statusNotifier); });
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { use(Kind::systemTray); });
    watcherPresent = m_bus.interface() && m_bus.interface()->isServiceRegistered(watcher).value();
  }
  use(watcherPresent ? Kind::statusNotifier : Kind::systemTray);
}

SwitchingTrayItem::~SwitchingTrayItem() = default;

void SwitchingTrayItem::use(Kind kind) {
  if (m_current && kind == m_kind) return;
  if (m_current) {
    if (const auto point = m_current->anchorPoint()) m_lastPoint = point;
  }
  m_current.reset();
  m_current = m_factory(kind);
  m_kind = kind;
  connect(m_current.get(), &TrayItem::activated, this, [this](QPoint point, bool hasPoint) {
    if (hasPoint) m_lastPoint = point;
    emit activated(point, hasPoint);
  });
  connect(m_current.get(), &TrayItem::secondaryActivated, this, &TrayItem::secondaryActivated);
  connect(m_current.get(), &TrayItem::contextMenuRequested, this, &TrayItem::contextMenuRequested);
  if (m_menu) m_current->setMenu(m_menu);
  if (m_face) m_current->show(*m_face);
  emit kindChanged(kind);
  checkHost();
}

void SwitchingTrayItem::setMenu(TrayMenu* menu) {
  m_menu = menu;
  m_current->setMenu(menu);
}

void SwitchingTrayItem::setTrayCheck(TrayCheck check) {
  m_trayCheck = std::move(check);
  checkHost();
}

void SwitchingTrayItem::checkHost() {
  const bool hasHost = m_kind == Kind::statusNotifier || (m_trayCheck && m_trayCheck());
  if (hasHost) {
    m_recheck.stop();
  } else if (!m_recheck.isActive()) {
    m_recheck.start();
  }
  if (hasHost == m_hasHost) return;
  m_hasHost = hasHost;
  emit hostChanged(hasHost);
}

void SwitchingTrayItem::show(const TrayFace& face) {
  m_face = face;
  m_current->show(face);
}

std::optional<QRect> SwitchingTrayItem::iconGeometry() const { return m_current->iconGeometry(); }

std::optional<QPoint> SwitchingTrayItem::anchorPoint() const {
  if (const auto point = m_current->anchorPoint()) return point;
  return m_lastPoint;
}
