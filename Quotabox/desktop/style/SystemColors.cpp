#include "style/SystemColors.h"

namespace SystemColors {

QColor red(bool dark) { return dark ? QColor(255, 69, 58) : QColor(255, 59, 48); }
QColor orange(bool dark) { return dark ? QColor(255, 159, 10) : QColor(255, 149, 0); }
QColor green(bool dark) { return dark ? QColor(48, 209, 88) : QColor(52, 199, 89); }
QColor accent(bool dark) { return dark ? QColor(10, 132, 255) : QColor(0, 122, 255); }

}  // namespace SystemColors
