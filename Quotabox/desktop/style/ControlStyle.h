#pragma once

#include <QString>

// The one style sheet of the application: push buttons, pickers and their popups, tool buttons,
// the segmented control, menus, tooltips and scroll bars in the flat, rounded look of the
// switches, with a focus ring in the accent colour. A push button whose "role" property is
// "destructive" is filled red.
namespace ControlStyle {
QString sheet(bool dark);
}  // namespace ControlStyle
