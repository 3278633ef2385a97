#pragma once

#include <QChar>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>

// The symbols the views show, by name, drawn from the Material Icons font.
namespace Symbols {

inline const QString kFontFamily = QStringLiteral("Material Icons");

// The glyph for a symbol name; an unknown name gives a null QChar.
QChar glyph(const QString& name);
// Every name in the table.
QStringList names();
// The icon font with a glyph of about `size` device-independent pixels.
QFont font(double size);
// The symbol as an icon of `size` pixels in `color` (sharp at device pixel ratio 2).
QIcon icon(const QString& name, double size, const QColor& color);

}  // namespace Symbols
