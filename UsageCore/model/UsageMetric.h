#pragma once

#include <nlohmann/json.hpp>
#include <string>

// An extra labelled value shown with a service ("stale", "credits", reset notes).
struct UsageMetric {
  std::string id;
  std::string label;
  std::string value;

  bool operator==(const UsageMetric&) const = default;
};

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(UsageMetric, id, label, value)
