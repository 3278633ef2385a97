#include "style/AppPalette.h"

#include <array>

#include "style/SystemColors.h"

namespace AppPalette {
namespace {
struct Role {
  QPalette::ColorRole role;
  QColor light;
  QColor dark;
};

const std::array<Role, 18> kRoles{{
    {QPalette::Window, QColor(236, 236, 236), QColor(40, 40, 40)},
    {QPalette::WindowText, QColor(30, 30, 30), QColor(235, 235, 235)},
    {QPalette::Base, QColor(255, 255, 255), QColor(30, 30, 30)},
    {QPalette::AlternateBase, QColor(245, 245, 245), QColor(50, 50, 50)},
    {QPalette::Text, QColor(30, 30, 30), QColor(235, 235, 235)},
    {QPalette::Button, QColor(236, 236, 236), QColor(55, 55, 55)},
    {QPalette::ButtonText, QColor(30, 30, 30), QColor(235, 235, 235)},
    {QPalette::BrightText, QColor(255, 255, 255), QColor(255, 255, 255)},
    {QPalette::PlaceholderText, QColor(128, 128, 128), QColor(150, 150, 150)},
    {QPalette::HighlightedText, QColor(255, 255, 255), QColor(255, 255, 255)},
    {QPalette::ToolTipBase, QColor(250, 250, 250), QColor(58, 58, 58)},
    {QPalette::ToolTipText, QColor(30, 30, 30), QColor(235, 235, 235)},
    // Bevel shades, used for control borders and separators.
    {QPalette::Light, QColor(255, 255, 255), QColor(80, 80, 80)},
    {QPalette::Midlight, QColor(226, 226, 226), QColor(70, 70, 70)},
    {QPalette::Mid, QColor(200, 200, 200), QColor(88, 88, 88)},
    {QPalette::Dark, QColor(160, 160, 160), QColor(24, 24, 24)},
    {QPalette::Shadow, QColor(0, 0, 0, 60), QColor(0, 0, 0, 140)},
    {QPalette::Link, QColor(0, 122, 255), QColor(10, 132, 255)},
}};
}  // namespace

QPalette palette(bool dark) {
  QPalette palette;
  for (const Role& role : kRoles) palette.setColor(role.role, dark ? role.dark : role.light);
  palette.setColor(QPalette::Highlight, SystemColors::accent(dark));
  // Disabled controls keep their layout; only the text fades.
  const QColor disabled = dark ? QColor(235, 235, 235, 100) : QColor(30, 30, 30, 90);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, disabled);
  return palette;
}

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

}  // namespace AppPalette
