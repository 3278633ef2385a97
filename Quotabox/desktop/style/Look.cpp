#include "style/Look.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "style/AppPalette.h"
#include "style/SystemColors.h"

namespace Look {

bool isDark(const QPalette& palette) { return AppPalette::isDark(palette); }

QColor red(const QPalette& palette) { return SystemColors::red(isDark(palette)); }
QColor orange(const QPalette& palette) { return SystemColors::orange(isDark(palette)); }
QColor green(const QPalette& palette) { return SystemColors::green(isDark(palette)); }
QColor accent(const QPalette& palette) { return palette.color(QPalette::Highlight); }
QColor primary(const QPalette& palette) { return palette.color(QPalette::WindowText); }
QColor secondary(const QPalette& palette) { return withOpacity(primary(palette), isDark(palette) ? 0.55 : 0.5); }

QColor withOpacity(QColor color, double opacity) {
  color.setAlphaF(static_cast<float>(qBound(0.0, color.alphaF() * opacity, 1.0)));
  return color;
}

const QStringList& fontFamilies() {
  static const QStringList families{QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans KR"),
                                    QStringLiteral("Apple SD Gothic Neo")};
  return families;
}

QFont font(double size, QFont::Weight weight) {
  QFont font;
  font.setFamilies(fontFamilies());
  // Fonts take points at the screen's logical dpi; sizes here are device-independent pixels.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
  font.setPointSizeF(size * 72.0 / (dpi > 0 ? dpi : 96.0));
  font.setWeight(weight);
  return font;
}

void setText(QWidget* widget, double size, QFont::Weight weight, const QColor& color) {
  widget->setFont(font(size, weight));
  if (!color.isValid()) return;
  // Inside a button a child's text takes ButtonText; naming the role keeps the colour given here.
  widget->setForegroundRole(QPalette::WindowText);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  widget->setPalette(palette);
}

}  // namespace Look
