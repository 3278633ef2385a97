#pragma once

// Launch at login as the app model sees it; used on the main thread.
class LoginItemControlling {
 public:
  virtual ~LoginItemControlling() = default;
  virtual bool isSupported() const = 0;
  virtual bool isEnabled() const = 0;
  // Throws LoginItemError, file-system errors or errors of the login-item service.
  virtual void setEnabled(bool enabled) = 0;
};
