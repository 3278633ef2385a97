#pragma once

#include <QSystemTrayIcon>

#include "tray/TrayItem.h"

// The XEmbed fallback for panels without a StatusNotifierItem host: the square glyph in the
// square icon the tray gives us.
class SystemTrayItem : public TrayItem {
  Q_OBJECT

 public:
  explicit SystemTrayItem(QObject* parent = nullptr);

  void show(const TrayFace& face) override;
  std::optional<QPoint> anchorPoint() const override;
  std::optional<QRect> iconGeometry() const override;

  // The glyph centred in a transparent square as wide as its longer side.
  static QImage squared(const QImage& glyph);

 private:
  QSystemTrayIcon m_icon;
  TrayFace m_face;
  bool m_shown = false;
};
