#pragma once

#include <string>

// Outcome of one fetch; `unavailable` carries a complete Korean sentence for the user.
struct ProviderStatus {
  enum class Kind { ok, notSignedIn, unavailable };

  Kind kind = Kind::ok;
  std::string message;  // only for unavailable

  static ProviderStatus ok() { return {Kind::ok, {}}; }
  static ProviderStatus notSignedIn() { return {Kind::notSignedIn, {}}; }
  static ProviderStatus unavailable(std::string message) { return {Kind::unavailable, std::move(message)}; }

  bool isOk() const { return kind == Kind::ok; }
  bool operator==(const ProviderStatus&) const = default;
};
