#include "tray/StatusItemOpener.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "tray/TrayController.h"
#include "tray/TrayItem.h"

namespace StatusItemOpener {

std::optional<QPoint> openPoint(std::optional<QPoint> itemPoint, std::optional<QRect> primaryAvailable) {
  if (itemPoint) return itemPoint;
  if (primaryAvailable && primaryAvailable->isValid()) return primaryAvailable->topRight();
  return std::nullopt;
}

void open(TrayController& controller, const TrayItem& item) {
  std::optional<QRect> available;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) available = screen->availableGeometry();
  controller.openPopover(openPoint(item.anchorPoint(), available));
}

void openAfterLaunch(TrayController& controller, const TrayItem& item) {
  auto* timer = new QTimer(&controller);
  timer->setSingleShot(true);
  timer->setTimerType(Qt::PreciseTimer);
  // The timer belongs to the controller, which never outlives the item.
  QObject::connect(timer, &QTimer::timeout, &controller, [&controller, &item, timer] {
    timer->deleteLater();
    open(controller, item);
  });
  timer->start(launchDelayMs);
}

}  // namespace StatusItemOpener
