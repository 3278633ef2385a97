#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>

// One icon image as StatusNotifierItem hosts expect it: (width, height, ARGB32 in network byte order).
struct SniPixmap {
  int width = 0;
  int height = 0;
  QByteArray bytes;

  static SniPixmap fromImage(const QImage& image);
};
using SniPixmapList = QList<SniPixmap>;

// The ToolTip property: (icon name, icon pixmaps, title, description).
struct SniToolTip {
  QString iconName;
  SniPixmapList iconPixmap;
  QString title;
  QString description;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip);

// Registers the types with Qt's meta-type and D-Bus systems; safe to call more than once.
void registerSniTypes();

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
