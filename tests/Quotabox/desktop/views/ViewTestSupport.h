#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <cstdlib>

#include "views/FittingLabel.h"

// Helpers shared by the view tests of this folder.
namespace ViewTestSupport {

// Every text a user can read in `root`: labels, fitted lines and button titles (rich text as
// written).
inline QStringList texts(const QWidget* root) {
  QStringList all;
  for (const QLabel* label : root->findChildren<QLabel*>()) all << label->text();
  for (const FittingLabel* line : root->findChildren<FittingLabel*>()) all << line->text();
  for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) all << button->text();
  return all;
}

// Lays `widget` out at `width` and its preferred height, shown off screen.
inline void showAt(QWidget& widget, int width) {
  widget.setFixedWidth(width);
  widget.show();
  QApplication::processEvents();
  widget.resize(width, widget.sizeHint().height());
  QApplication::processEvents();
}

inline QImage render(QWidget& widget) { return widget.grab().toImage(); }

inline bool near(QColor actual, QColor expected, int tolerance = 12) {
  return std::abs(actual.red() - expected.red()) <= tolerance &&
         std::abs(actual.green() - expected.green()) <= tolerance &&
         std::abs(actual.blue() - expected.blue()) <= tolerance;
}

// `color` at `opacity` over `background`.
inline QColor over(QColor background, QColor color, double opacity) {
  const auto mix = [opacity](int under, int top) { return static_cast<int>(under + (top - under) * opacity + 0.5); };
  return QColor(mix(background.red(), color.red()), mix(background.green(), color.green()),
                mix(background.blue(), color.blue()));
}

}  // namespace ViewTestSupport
