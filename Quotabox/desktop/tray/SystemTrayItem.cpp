#include "tray/SystemTrayItem.h"

#include <QCursor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

SystemTrayItem::SystemTrayItem(QObject* parent) : TrayItem(parent) {
  connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
      case QSystemTrayIcon::Trigger:
      case QSystemTrayIcon::DoubleClick: {
        const auto point = anchorPoint();
        emit activated(point.value_or(QCursor::pos()), true);
        break;
      }
      case QSystemTrayIcon::MiddleClick:
        emit secondaryActivated();
        break;
      case QSystemTrayIcon::Context:
        emit contextMenuRequested(QCursor::pos());
        break;
      case QSystemTrayIcon::Unknown:
        break;
    }
  });
}

QImage SystemTrayItem::squared(const QImage& glyph) {
  if (glyph.isNull()) return glyph;
  const int side = std::max(glyph.width(), glyph.height());
  QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
  square.fill(Qt::transparent);
  QPainter painter(&square);
  painter.drawImage(QPoint((side - glyph.width()) / 2, (side - glyph.height()) / 2), glyph);
  painter.end();
  square.setDevicePixelRatio(glyph.devicePixelRatio());
  return square;
}

void SystemTrayItem::show(const TrayFace& face) {
  if (!m_shown || !face.sameImage(m_face)) {
    QIcon icon;
    // The square glyph drawn for each slot size; the wide one centred only when there is none.
    for (const QImage& image : face.squareImages) {
      if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
    }
    for (const QImage* image : {&face.image, &face.image2x}) {
      if (!face.squareImages.empty() || image->isNull()) continue;
      QImage square = squared(*image);
      square.setDevicePixelRatio(1);
      icon.addPixmap(QPixmap::fromImage(square));
    }
    m_icon.setIcon(icon);
  }
  if (!m_shown || face.tooltip != m_face.tooltip) m_icon.setToolTip(face.tooltip);
  m_face = face;
  if (!m_shown) {
    m_icon.show();
    m_shown = true;
  }
}

std::optional<QRect> SystemTrayItem::iconGeometry() const {
  const QRect geometry = m_icon.geometry();
  if (geometry.isValid() && !geometry.isEmpty()) return geometry;
  return std::nullopt;
}

std::optional<QPoint> SystemTrayItem::anchorPoint() const {
  const QRect geometry = m_icon.geometry();
  if (geometry.isValid() && !geometry.isEmpty()) return geometry.center();
  return std::nullopt;
}
