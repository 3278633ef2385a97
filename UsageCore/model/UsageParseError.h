#pragma once

#include <exception>

// Data of the wrong shape. JSON decoding failures are reported separately,
// as nlohmann::json::exception.
namespace UsageParseError {
class invalidResponse : public std::exception {
 public:
  const char* what() const noexcept override { return "invalid response"; }
  bool operator==(const invalidResponse&) const { return true; }
};
}  // namespace UsageParseError
