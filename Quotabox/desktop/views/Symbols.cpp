#include "views/Symbols.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <array>
#include <utility>

namespace Symbols {
namespace {

// Symbol name -> Material Icons code point.
const std::array<std::pair<const char*, char16_t>, 20> kTable{{
    {"pause.circle", 0xe036},                           // pause_circle_outline
    {"exclamationmark.octagon.fill", 0xe160},           // report
    {"hourglass", 0xe88b},                              // hourglass_empty
    {"checkmark.circle", 0xe92d},                       // check_circle_outline
    {"exclamationmark.triangle.fill", 0xe002},          // warning
    {"exclamationmark.triangle", 0xf083},               // warning_amber
    {"exclamationmark.circle.fill", 0xe000},            // error
    {"moon.zzz", 0xef44},                               // bedtime
    {"chevron.down", 0xe5cf},                           // expand_more
    {"arrow.clockwise", 0xe5d5},                        // refresh
    {"gearshape", 0xe8b8},                              // settings
    {"power", 0xe8ac},                                  // power_settings_new
    {"person.crop.circle.badge.questionmark", 0xf03e},  // no_accounts
    {"clock.arrow.circlepath", 0xe889},                 // history
    {"clock.badge.exclamationmark", 0xf17d},            // history_toggle_off
    {"chevron.left", 0xe5cb},                           // chevron_left
    {"info.circle", 0xe88f},                            // info_outline
    {"bell.slash", 0xe7f6},                             // notifications_off
    {"trash", 0xe92e},                                  // delete_outline
    {"checkmark", 0xe5ca},                              // check
}};

}  // namespace

QChar glyph(const QString& name) {
  for (const auto& [symbol, codePoint] : kTable) {
    if (name == QLatin1String(symbol)) return QChar(codePoint);
  }
  return {};
}

QStringList names() {
  QStringList all;
  for (const auto& entry : kTable) all << QString::fromLatin1(entry.first);
  return all;
}

QFont font(double size) {
  QFont font(kFontFamily);
  // The font's glyphs sit in a padded em square; a slightly larger em matches the text around them.
  font.setPixelSize(qMax(1, qRound(size * 1.2)));
  font.setStyleStrategy(QFont::NoFontMerging);
  return font;
}

QIcon icon(const QString& name, double size, const QColor& color) {
  // The same icon object each time: Qt caches an icon's scaled and disabled pixmaps under the
  // icon's own key, so a new icon per page would add cache entries at every popover opening.
  static QHash<QString, QIcon> made;
  const QString key = name + u'|' + QString::number(size) + u'|' + color.name(QColor::HexArgb);
  if (const auto found = made.constFind(key); found != made.constEnd()) return *found;
  if (made.size() >= 256) made.clear();  // a handful of symbols, sizes and colours are in use
  const int side = qMax(1, qRound(size * 1.2));
  QIcon result;
  for (const qreal ratio : {1.0, 2.0}) {
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setFont(font(size));
    painter.setPen(color);
    painter.drawText(QRectF(0, 0, side, side), Qt::AlignCenter, QString(glyph(name)));
    painter.end();
    result.addPixmap(pixmap);
  }
  made.insert(key, result);
  return result;
}

}  // namespace Symbols
