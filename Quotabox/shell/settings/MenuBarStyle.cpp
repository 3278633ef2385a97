#include "settings/MenuBarStyle.h"

namespace MenuBarStyles {

QString rawValue(MenuBarStyle style) {
  switch (style) {
    case MenuBarStyle::icon:
      return QStringLiteral("icon");
    case MenuBarStyle::percent:
      return QStringLiteral("percent");
    case MenuBarStyle::both:
      return QStringLiteral("both");
  }
  return {};
}

std::optional<MenuBarStyle> fromRaw(const QString& raw) {
  for (MenuBarStyle style : allCases) {
    if (raw == rawValue(style)) return style;
  }
  return std::nullopt;
}

}  // namespace MenuBarStyles
