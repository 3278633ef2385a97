#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

// Settings-page helpers over the one symbol table (views/Symbols): sizes given as the font's
// pixel size rather than the text size the symbol sits beside.
namespace SystemSymbol {
// The icon font at a pixel size.
QFont font(qreal pixelSize);
// The symbol's character; empty for a name the table does not know.
QString glyph(const QString& name);
// The symbol as an icon of `pixelSize`, drawn in `color` at 1x and 2x.
QIcon icon(const QString& name, const QColor& color, int pixelSize);
}  // namespace SystemSymbol
