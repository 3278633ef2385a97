#include "tray/DevicePixels.h"

#include <QGuiApplication>
#include <QScreen>

#include "tray/PopoverPlacement.h"

namespace DevicePixels {

QPoint toLogical(QPoint native) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return native;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const double ratio = screen->devicePixelRatio();
    const QRectF logical = screen->geometry();
    // A screen keeps its native origin; only its size is scaled.
    const QRectF nativeRect(logical.topLeft(), logical.size() * ratio);
    if (nativeRect.contains(native)) return PopoverPlacement::toLogical(native, logical, ratio).toPoint();
  }
  return native;
}

}  // namespace DevicePixels
