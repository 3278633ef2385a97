#include "views/SystemSymbol.h"

#include <QFontDatabase>

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
  // The table's icons take the size of the text beside them, drawn 1.2 times as large.
  return Symbols::icon(name, pixelSize / 1.2, color);
}

}  // namespace SystemSymbol
