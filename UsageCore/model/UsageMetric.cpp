#include "model/UsageMetric.h"

#include <nlohmann/json.hpp>

// Out of line so that the many files that only hold usage values need not parse the JSON library.
void to_json(nlohmann::json& json, const UsageMetric& metric) {
  json = nlohmann::json{{"id", metric.id}, {"label", metric.label}, {"value", metric.value}};
}

void from_json(const nlohmann::json& json, UsageMetric& metric) {
  json.at("id").get_to(metric.id);
  json.at("label").get_to(metric.label);
  json.at("value").get_to(metric.value);
}
