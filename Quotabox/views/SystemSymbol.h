#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

// The symbol set: system symbol names ("chevron.left", "trash") drawn with the Material Icons
// font through one name-to-glyph table.
namespace SystemSymbol {
// The icon font at a pixel size.
QFont font(qreal pixelSize);
// The font's ligature name for a symbol; empty for a name the table does not know.
QString glyph(const QString& name);
// The symbol as an icon of `pixelSize`, drawn in `color` at 1x and 2x.
QIcon icon(const QString& name, const QColor& color, int pixelSize);
}  // namespace SystemSymbol
