#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

// An extra labelled value shown with a service ("stale", "credits", reset notes).
struct UsageMetric {
  std::string id;
  std::string label;
  std::string value;

  bool operator==(const UsageMetric&) const = default;
};

void to_json(nlohmann::json& json, const UsageMetric& metric);
void from_json(const nlohmann::json& json, UsageMetric& metric);
