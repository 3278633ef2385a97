#pragma once

#include <QString>
#include <array>
#include <optional>

// How the tray label draws each service: the glyph, the percentage, or both.
enum class MenuBarStyle { icon, percent, both };

namespace MenuBarStyles {
inline constexpr std::array<MenuBarStyle, 3> allCases{MenuBarStyle::icon, MenuBarStyle::percent, MenuBarStyle::both};

// "icon", "percent" or "both"; also the stored form.
QString rawValue(MenuBarStyle style);
// Exact, case-sensitive match of the raw value.
std::optional<MenuBarStyle> fromRaw(const QString& raw);
}  // namespace MenuBarStyles
