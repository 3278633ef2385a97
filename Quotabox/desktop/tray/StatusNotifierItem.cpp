#include "tray/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <atomic>

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
  if (!m_bus.isConnected()) return;
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
  m_bus.unregisterService(m_serviceName);
  m_bus.unregisterObject(QString::fromLatin1(objectPath));
}

void StatusNotifierItem::registerWithWatcher() {
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
  if (imageChanged) {
    m_pixmaps.clear();
    for (const QImage* image : {&m_face.image, &m_face.image2x}) {
      if (!image->isNull()) m_pixmaps.append(SniPixmap::fromImage(*image));
    }
    emit m_adaptor->NewIcon();
  }
  if (toolTipChanged) emit m_adaptor->NewToolTip();
  if (labelChanged) emit m_adaptor->XAyatanaNewLabel(m_face.label, m_face.labelGuide);
}

SniToolTip StatusNotifierItem::toolTip() const { return {QString(), {}, QStringLiteral("Quotabox"), m_face.tooltip}; }

void StatusNotifierItem::activate(int x, int y) {
  // Hosts that do not know the pointer position send (0, 0).
  const bool hasPoint = x != 0 || y != 0;
  const QPoint point = hasPoint ? DevicePixels::toLogical(QPoint(x, y)) : QPoint(x, y);
  if (hasPoint) m_lastPoint = point;
  emit activated(point, hasPoint);
}

void StatusNotifierItem::secondaryActivate() { emit secondaryActivated(); }

void StatusNotifierItem::contextMenu(int x, int y) {
  if (x != 0 || y != 0) m_lastPoint = QPoint(x, y);
  emit contextMenuRequested(QPoint(x, y));
}
