#pragma once

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <functional>
#include <optional>

#include "tray/PopoverPlacement.h"

// What the popover needs from a Wayland compositor to sit next to the tray: the output under the
// click with the area its panels leave free, and a way to move its own window there.
//
// Wayland gives clients no say over where their windows go. The clean route, a layer-shell surface,
// needs a Qt shell-integration plugin built against QtWaylandClient's private headers, which Debian
// 12 does not package. So the popover stays an ordinary toplevel and, where a compositor takes a
// client's word (sway and i3-compatible ones over their IPC socket, KWin through scripts loaded over
// D-Bus), a placer asks it to move the window; elsewhere there is no placer and the compositor
// places it.
class PopoverPlacer : public QObject {
  Q_OBJECT

 public:
  using AreaHandler = std::function<void(std::optional<PopoverArea>)>;

  using QObject::QObject;

  // Finds the output holding `point` (else the focused one) in layout coordinates. Calls `done`
  // exactly once on the main thread, with nothing when the compositor did not answer, unless
  // cancel() comes first.
  virtual void lookUp(std::optional<QPointF> point, AreaHandler done) = 0;
  // Moves this process's popover window so that its top-left corner is at `topLeft`. The window may
  // not be mapped yet; the placer keeps trying for a short while.
  virtual void moveTo(QPoint topLeft) = 0;
  // Drops pending look-ups and moves (the popover closed).
  virtual void cancel() = 0;
};
