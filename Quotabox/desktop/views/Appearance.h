#pragma once

#include <QPalette>
#include <string>

// Forced light or dark look for the whole application (Fusion style with a fixed palette).
namespace Appearance {
// "dark" selects the dark palette; any other name the light one.
QPalette palette(const std::string& name);
void apply(const std::string& name);
}  // namespace Appearance
