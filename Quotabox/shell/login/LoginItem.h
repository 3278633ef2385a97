#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "login/LoginAgentFile.h"
#include "login/LoginItemService.h"

// What launch at login works against: the system's registration, the application's location,
// the test for a location that can be registered, and the agent-file fallback where the platform
// has one (macOS). Without a fallback, a registration that does not take effect is an error.
struct LoginItemPlatform {
  std::shared_ptr<LoginItemService> service;
  QString appPath;
  std::function<bool(const QString&)> isUsableApp;
  std::optional<LoginAgentFile> agent;
};

// The two operations behind the launch-at-login switch; main thread, synchronous.
namespace LoginItem {
bool isEnabled(const LoginItemPlatform& platform);
// Throws LoginItemError, std::system_error, LoginItemServiceError or std::runtime_error.
void setEnabled(bool enabled, const LoginItemPlatform& platform);

// A bundle ending in ".app" with an executable Contents/MacOS/Quotabox.
bool isUsableBundle(const QString& path);
// An absolute path to an executable regular file.
bool isUsableExecutable(const QString& path);
}  // namespace LoginItem
