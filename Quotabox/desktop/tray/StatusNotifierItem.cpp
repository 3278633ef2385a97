#include "tray/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <algorithm>
#include <atomic>
#include <utility>

#include "tray/BusBacklog.h"
#include "tray/DBusMenuAdaptor.h"
#include "tray/DevicePixels.h"
#include "tray/StatusNotifierItemAdaptor.h"

namespace {
std::atomic<int> itemCounter{0};
constexpr int registerTimeoutMs = 2000;
}  // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QString watcher, QObject* parent)
    : TrayItem(parent), m_bus(std::move(bus)), m_watcherName(std::move(watcher)) {
  registerSniTypes();
  m_serviceName =
      QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(QCoreApplication::applicationPid()).arg(++itemCounter);
  m_adaptor = new StatusNotifierItemAdaptor(this);
  backlog = [this] { return busBacklogBytes(m_bus); };
  if (!m_bus.isConnected()) return;
  limitUnreadBytes(m_bus, maxUnreadBytes);
  m_served = m_bus.registerObject(QString::fromLatin1(objectPath), this, QDBusConnection::ExportAdaptors) &&
             m_bus.registerService(m_serviceName);
  if (!m_served) return;

  m_watcher = new QDBusServiceWatcher(m_watcherName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            if (!newOwner.isEmpty()) registerWithWatcher();
          });
  registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem() {
  if (!m_served) return;
  if (m_menuObject) m_bus.unregisterObject(QString::fromLatin1(menuPath));
  m_bus.unregisterService(m_serviceName);
  m_bus.unregisterObject(QString::fromLatin1(objectPath));
}

void StatusNotifierItem::setMenu(TrayMenu* menu) {
  if (m_menuObject || !menu) return;
  m_menu = menu;
  auto* object = new DBusMenuObject(this);
  new DBusMenuAdaptor(object, *menu);
  m_menuObject = object;
  if (m_served) m_bus.registerObject(QString::fromLatin1(menuPath), m_menuObject, QDBusConnection::ExportAdaptors);
}

QDBusObjectPath StatusNotifierItem::menuObjectPath() const {
  return QDBusObjectPath(QString::fromLatin1(m_menuObject && m_menu ? menuPath : noMenuPath));
}

void StatusNotifierItem::registerWithWatcher() {
  // The host decides the glyph's shape, so it is known before the host first reads the icon.
  TrayHosts::probe(m_bus, m_watcherName, this, [this](TrayHost host) {
    setHost(host);
    sendRegistration();
  });
}

void StatusNotifierItem::setHost(TrayHost host) {
  if (host == m_host) return;
  m_host = host;
  if (updatePixmapsChanged()) emit m_adaptor->NewIcon();
}

void StatusNotifierItem::sendRegistration() {
  QDBusMessage call =
      QDBusMessage::createMethodCall(m_watcherName, QStringLiteral("/StatusNotifierWatcher"),
                                     QString::fromLatin1(watcherService), QStringLiteral("RegisterStatusNotifierItem"));
  call << m_serviceName;
  auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, registerTimeoutMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    emit registrationFinished(!finished->isError());
  });
}

void StatusNotifierItem::show(const TrayFace& face) {
  const bool imageChanged = !face.sameImage(m_face);
  const bool toolTipChanged = face.tooltip != m_face.tooltip;
  const bool labelChanged = face.label != m_face.label || face.labelGuide != m_face.labelGuide;
  m_face = face;
  if (imageChanged && updatePixmapsChanged()) emit m_adaptor->NewIcon();
  if (toolTipChanged) emit m_adaptor->NewToolTip();
  if (labelChanged) emit m_adaptor->XAyatanaNewLabel(m_face.label, m_face.labelGuide);
}

bool StatusNotifierItem::updatePixmapsChanged() {
  SniPixmapList pixmaps;
  if (TrayHosts::keepsAspect(m_host) || m_face.squareImages.empty()) {
    for (const QImage* image : {&m_face.image, &m_face.image2x}) {
      if (!image->isNull()) pixmaps.append(SniPixmap::fromImage(*image));
    }
  } else {
    for (const QImage& image : m_face.squareImages) {
      if (!image.isNull()) pixmaps.append(SniPixmap::fromImage(image));
    }
  }
  const bool changed = pixmaps.size() != m_pixmaps.size() ||
                       !std::equal(pixmaps.begin(), pixmaps.end(), m_pixmaps.begin(), [](const auto& a, const auto& b) {
                         return a.width == b.width && a.height == b.height && a.bytes == b.bytes;
                       });
  m_pixmaps = std::move(pixmaps);
  return changed;
}

SniPixmapList StatusNotifierItem::iconPixmap() const {
  if (backlog && backlog() > maxBacklogBytes) return {};
  return m_pixmaps;
}

SniToolTip StatusNotifierItem::toolTip() const { return {QString(), {}, QStringLiteral("Quotabox"), m_face.tooltip}; }

void StatusNotifierItem::activate(int x, int y) {
  // Hosts that do not know the pointer position send (0, 0).
  const bool hasPoint = x != 0 || y != 0;
  const QPoint point = hasPoint ? DevicePixels::toLogical(QPoint(x, y)) : QPoint(x, y);
  if (hasPoint) m_lastPoint = point;
  if (m_settleScheduled) {
    m_pendingToggle = !m_pendingToggle;
    m_pendingTogglePoint = point;
    m_pendingToggleHasPoint = hasPoint;
    return;
  }
  scheduleSettle();
  emit activated(point, hasPoint);
}

void StatusNotifierItem::secondaryActivate() { emit secondaryActivated(); }

void StatusNotifierItem::contextMenu(int x, int y) {
  if (x != 0 || y != 0) m_lastPoint = QPoint(x, y);
  if (m_settleScheduled) {
    m_pendingMenu = QPoint(x, y);
    return;
  }
  scheduleSettle();
  emit contextMenuRequested(QPoint(x, y));
}

void StatusNotifierItem::scheduleSettle() {
  m_settleScheduled = true;
  // Queued behind the calls already waiting, so the burst ends when they have been counted.
  QMetaObject::invokeMethod(this, &StatusNotifierItem::settleBurst, Qt::QueuedConnection);
}

void StatusNotifierItem::settleBurst() {
  m_settleScheduled = false;
  const bool toggle = std::exchange(m_pendingToggle, false);
  const std::optional<QPoint> menu = std::exchange(m_pendingMenu, std::nullopt);
  if (!toggle && !menu) return;
  // What this settles may itself have been a burst: the next one is folded again.
  scheduleSettle();
  if (toggle) emit activated(m_pendingTogglePoint, m_pendingToggleHasPoint);
  if (menu) emit contextMenuRequested(*menu);
}
