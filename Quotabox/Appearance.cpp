#include "Appearance.h"

#include <QApplication>
#include <QStyleFactory>

namespace Appearance {

QPalette palette(const std::string& name) {
  QPalette palette;
  if (name != "dark") {
    palette.setColor(QPalette::Window, QColor(236, 236, 236));
    palette.setColor(QPalette::WindowText, QColor(30, 30, 30));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(245, 245, 245));
    palette.setColor(QPalette::Text, QColor(30, 30, 30));
    palette.setColor(QPalette::Button, QColor(236, 236, 236));
    palette.setColor(QPalette::ButtonText, QColor(30, 30, 30));
    palette.setColor(QPalette::PlaceholderText, QColor(128, 128, 128));
    palette.setColor(QPalette::Highlight, QColor(0, 122, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
  }
  palette.setColor(QPalette::Window, QColor(40, 40, 40));
  palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
  palette.setColor(QPalette::Base, QColor(30, 30, 30));
  palette.setColor(QPalette::AlternateBase, QColor(50, 50, 50));
  palette.setColor(QPalette::Text, QColor(235, 235, 235));
  palette.setColor(QPalette::Button, QColor(55, 55, 55));
  palette.setColor(QPalette::ButtonText, QColor(235, 235, 235));
  palette.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
  palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  return palette;
}

void apply(const std::string& name) {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(palette(name));
}

}  // namespace Appearance
