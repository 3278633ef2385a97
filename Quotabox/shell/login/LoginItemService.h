#pragma once

#include <stdexcept>
#include <string>

// The operating system's own login registration for the running application.
enum class LoginItemStatus { enabled, requiresApproval, notRegistered, notFound };

// A refused registration; `code` is the service's error number.
class LoginItemServiceError : public std::runtime_error {
 public:
  LoginItemServiceError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
  int code() const { return m_code; }

 private:
  int m_code;
};

class LoginItemService {
 public:
  virtual ~LoginItemService() = default;
  // Never throws; anything unreadable is reported as not registered.
  virtual LoginItemStatus status() const = 0;
  // Whether something is registered that unregisterApp() should take away. An entry that would
  // start another copy of the program counts, although status() does not call it enabled.
  virtual bool hasRegistration() const {
    const LoginItemStatus current = status();
    return current == LoginItemStatus::enabled || current == LoginItemStatus::requiresApproval;
  }
  // Both throw LoginItemServiceError.
  virtual void registerApp() = 0;
  virtual void unregisterApp() = 0;
};
