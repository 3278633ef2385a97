#include "views/Appearance.h"

#include <QApplication>
#include <QStyleFactory>
#include <array>
#include <utility>

namespace Appearance {
namespace {
struct Role {
  QPalette::ColorRole role;
  QColor light;
  QColor dark;
};

const std::array<Role, 10> kRoles{{
    {QPalette::Window, QColor(236, 236, 236), QColor(40, 40, 40)},
    {QPalette::WindowText, QColor(30, 30, 30), QColor(235, 235, 235)},
    {QPalette::Base, QColor(255, 255, 255), QColor(30, 30, 30)},
    {QPalette::AlternateBase, QColor(245, 245, 245), QColor(50, 50, 50)},
    {QPalette::Text, QColor(30, 30, 30), QColor(235, 235, 235)},
    {QPalette::Button, QColor(236, 236, 236), QColor(55, 55, 55)},
    {QPalette::ButtonText, QColor(30, 30, 30), QColor(235, 235, 235)},
    {QPalette::PlaceholderText, QColor(128, 128, 128), QColor(150, 150, 150)},
    {QPalette::Highlight, QColor(0, 122, 255), QColor(10, 132, 255)},
    {QPalette::HighlightedText, QColor(255, 255, 255), QColor(255, 255, 255)},
}};
}  // namespace

QPalette palette(const std::string& name) {
  const bool dark = name == "dark";
  QPalette palette;
  for (const Role& role : kRoles) palette.setColor(role.role, dark ? role.dark : role.light);
  return palette;
}

void apply(const std::string& name) {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(palette(name));
}

}  // namespace Appearance
