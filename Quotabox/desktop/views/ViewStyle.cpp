#include "views/ViewStyle.h"

#include <QGuiApplication>
#include <QScreen>

namespace ViewStyle {

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

QColor red(const QPalette& palette) { return isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48); }
QColor orange(const QPalette& palette) { return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0); }
QColor green(const QPalette& palette) { return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89); }
QColor accent(const QPalette& palette) { return palette.color(QPalette::Highlight); }
QColor primary(const QPalette& palette) { return palette.color(QPalette::WindowText); }
QColor secondary(const QPalette& palette) { return withOpacity(primary(palette), isDark(palette) ? 0.55 : 0.5); }

QColor withOpacity(QColor color, double opacity) {
  color.setAlphaF(static_cast<float>(qBound(0.0, color.alphaF() * opacity, 1.0)));
  return color;
}

QFont font(double size, QFont::Weight weight) {
  QFont font;
  font.setFamilies(
      {QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans KR"), QStringLiteral("Apple SD Gothic Neo")});
  // Sizes are given in device-independent pixels; fonts take points at the screen's logical dpi.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
  font.setPointSizeF(size * 72.0 / (dpi > 0 ? dpi : 96.0));
  font.setWeight(weight);
  return font;
}

}  // namespace ViewStyle
