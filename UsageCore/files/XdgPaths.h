#pragma once

#include <QString>

// Base folders of the XDG base-directory rules. A relative value in the environment is invalid
// and ignored, as the rules require, so nothing lands under the current directory.
namespace XdgPaths {
// $XDG_CONFIG_HOME when absolute, else ~/.config.
QString configHome();
}  // namespace XdgPaths
