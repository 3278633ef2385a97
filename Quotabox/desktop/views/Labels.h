#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

// Plain text labels in a given font and colour.
namespace Labels {

QLabel* make(const QString& text, const QFont& font, const QColor& color, QWidget* parent);

}  // namespace Labels
