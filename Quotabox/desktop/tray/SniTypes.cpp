#include "tray/SniTypes.h"

#include <QDBusMetaType>
#include <QtEndian>

SniPixmap SniPixmap::fromImage(const QImage& image) {
  SniPixmap pixmap;
  if (image.isNull()) return pixmap;
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  pixmap.width = argb.width();
  pixmap.height = argb.height();
  pixmap.bytes.resize(static_cast<qsizetype>(argb.width()) * argb.height() * 4);
  auto* out = reinterpret_cast<uchar*>(pixmap.bytes.data());
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x, out += 4) qToBigEndian<quint32>(line[x], out);
  }
  return pixmap;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap) {
  argument.beginStructure();
  argument << pixmap.width << pixmap.height << pixmap.bytes;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap) {
  argument.beginStructure();
  argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip) {
  argument.beginStructure();
  argument << toolTip.iconName << toolTip.iconPixmap << toolTip.title << toolTip.description;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip) {
  argument.beginStructure();
  argument >> toolTip.iconName >> toolTip.iconPixmap >> toolTip.title >> toolTip.description;
  argument.endStructure();
  return argument;
}

void registerSniTypes() {
  static const bool registered = [] {
    qDBusRegisterMetaType<SniPixmap>();
    qDBusRegisterMetaType<SniPixmapList>();
    qDBusRegisterMetaType<SniToolTip>();
    return true;
  }();
  (void)registered;
}
