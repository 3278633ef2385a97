#pragma once

#include <functional>
#include <memory>

#include "login/LoginItemControlling.h"

// Launch at login through two stored functions; always supported.
class ClosureLoginItem : public LoginItemControlling {
 public:
  ClosureLoginItem(std::function<bool()> isEnabledProvider, std::function<void(bool)> setter);

  bool isSupported() const override { return true; }
  bool isEnabled() const override { return m_isEnabledProvider(); }
  void setEnabled(bool enabled) override { m_setter(enabled); }

 private:
  std::function<bool()> m_isEnabledProvider;
  std::function<void(bool)> m_setter;
};
