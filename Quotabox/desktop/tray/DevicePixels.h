#pragma once

#include <QPoint>

// Tray hosts on X11 report screen points in device pixels; Qt places windows in logical ones.
namespace DevicePixels {

// `native` in logical pixels of the screen that holds it. Unchanged on Wayland, where hosts and
// compositors already speak in layout (logical) coordinates, and when no screen holds it.
QPoint toLogical(QPoint native);

}  // namespace DevicePixels
