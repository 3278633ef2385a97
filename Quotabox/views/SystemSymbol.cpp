#include "views/SystemSymbol.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPixmap>

#include "views/Symbols.h"

namespace SystemSymbol {
namespace {
const QString& family() {
  static const QString name = [] {
    // Installed with the system fonts; registering the file covers a font cache that lacks it.
    const int id = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf"));
    const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
    return families.isEmpty() ? QStringLiteral("Material Icons") : families.first();
  }();
  return name;
}
}  // namespace

QFont font(qreal pixelSize) {
  QFont f(family());
  f.setPixelSize(qMax(1, qRound(pixelSize)));
  f.setStyleStrategy(QFont::NoFontMerging);
  return f;
}

QString glyph(const QString& name) {
  const QChar symbol = Symbols::glyph(name);
  return symbol.isNull() ? QString() : QString(symbol);
}

QIcon icon(const QString& name, const QColor& color, int pixelSize) {
  QIcon result;
  for (const qreal dpr : {1.0, 2.0}) {
    QPixmap pixmap(QSize(pixelSize, pixelSize) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font(pixelSize));
    painter.setPen(color);
    painter.drawText(QRectF(0, 0, pixelSize, pixelSize), Qt::AlignCenter, glyph(name));
    painter.end();
    result.addPixmap(pixmap);
  }
  return result;
}

}  // namespace SystemSymbol
