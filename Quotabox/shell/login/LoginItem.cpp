#include "login/LoginItem.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

#include "login/LoginItemError.h"

namespace {
// Codes with which the system reports a refused authorization or a launch the user denied.
constexpr int kAuthorizationFailure = 4;
constexpr int kLaunchDenied = 11;

void removeAgent(const LoginItemPlatform& platform) {
  if (platform.agent) platform.agent->remove();
}

// Used when the registration did not take effect and the user did not refuse it.
void fallBack(const LoginItemPlatform& platform, const LoginItemServiceError* registrationError) {
  if (platform.agent) {
    platform.agent->write(platform.appPath);
    return;
  }
  // Nothing else would start the application, so saying it worked would be wrong.
  if (registrationError) throw *registrationError;
  throw std::runtime_error("the login registration did not take effect");
}
}  // namespace

bool LoginItem::isEnabled(const LoginItemPlatform& platform) {
  if (platform.service->status() == LoginItemStatus::enabled) return true;
  return platform.agent && platform.agent->matches(platform.appPath);
}

void LoginItem::setEnabled(bool enabled, const LoginItemPlatform& platform) {
  LoginItemService& service = *platform.service;
  if (!enabled) {
    removeAgent(platform);
    if (service.hasRegistration()) service.unregisterApp();
    return;
  }

  if (!platform.isUsableApp(platform.appPath)) throw LoginItemError(LoginItemError::Code::appBundleRequired);
  LoginItemStatus status = service.status();
  if (status == LoginItemStatus::enabled) {
    removeAgent(platform);
    return;
  }
  if (status == LoginItemStatus::requiresApproval) throw LoginItemError(LoginItemError::Code::approvalRequired);

  try {
    service.registerApp();
  } catch (const LoginItemServiceError& error) {
    status = service.status();
    if (status == LoginItemStatus::enabled) {
      removeAgent(platform);
      return;
    }
    if (status == LoginItemStatus::requiresApproval || error.code() == kAuthorizationFailure ||
        error.code() == kLaunchDenied) {
      throw LoginItemError(LoginItemError::Code::approvalRequired);
    }
    fallBack(platform, &error);
    return;
  }

  status = service.status();
  if (status == LoginItemStatus::requiresApproval) throw LoginItemError(LoginItemError::Code::approvalRequired);
  if (status == LoginItemStatus::enabled) {
    removeAgent(platform);
    return;
  }
  fallBack(platform, nullptr);
}

bool LoginItem::isUsableBundle(const QString& path) {
  if (QFileInfo(path).suffix() != QStringLiteral("app")) return false;
  const QFileInfo executable(path + QStringLiteral("/Contents/MacOS/Quotabox"));
  return executable.isFile() && executable.isExecutable();
}

bool LoginItem::isUsableExecutable(const QString& path) {
  if (!QDir::isAbsolutePath(path)) return false;
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}
