#pragma once

#include <QString>
#include <exception>
#include <string>

// Why launch at login could not be turned on, worded for the user.
class LoginItemError : public std::exception {
 public:
  enum class Code { appBundleRequired, approvalRequired };

  explicit LoginItemError(Code code);

  Code code() const { return m_code; }
  QString description() const;
  const char* what() const noexcept override { return m_what.c_str(); }

 private:
  Code m_code;
  std::string m_what;
};
