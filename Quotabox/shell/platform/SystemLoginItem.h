#pragma once

#include <memory>

#include "login/LoginItem.h"
#include "login/LoginItemControlling.h"

// The login registration of this platform, chosen here and nowhere else: on Linux the XDG
// autostart entry of the running executable.
namespace SystemLoginItem {

// Read afresh on every call: the executable to register may change ($APPIMAGE).
LoginItemPlatform platform();

// Launch at login as the app model drives it, over platform().
std::shared_ptr<LoginItemControlling> make();

}  // namespace SystemLoginItem
