#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <optional>

#include "tray/TrayFace.h"

class TrayMenu;

// The application's entry in the panel: shows a face and reports what the user does with it.
class TrayItem : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Replaces what the item shows; implementations send only the parts that changed.
  virtual void show(const TrayFace& face) = 0;
  // Where the popover should open when the item is activated without a point: the last point the
  // host reported, or the item's own geometry. Absent when neither is known.
  virtual std::optional<QPoint> anchorPoint() const = 0;
  // The icon's rectangle on screen in logical pixels, where the host tells it (XEmbed).
  virtual std::optional<QRect> iconGeometry() const { return std::nullopt; }
  // The menu hosts may draw themselves; items that cannot serve one ignore it. Not owned.
  virtual void setMenu(TrayMenu* menu) { (void)menu; }

 signals:
  // `hasPoint` is false when the host gave no usable screen position.
  void activated(QPoint point, bool hasPoint);
  void secondaryActivated();
  void contextMenuRequested(QPoint point);
};
