#include "trends/WindowTrend.h"

#include <nlohmann/json.hpp>

void to_json(nlohmann::json& json, const UsageSample& sample) {
  json = nlohmann::json{{"service", sample.service},
                        {"windowID", sample.windowID},
                        {"usedPercent", sample.usedPercent},
                        {"at", toEpochSeconds(sample.at)}};
}

void from_json(const nlohmann::json& json, UsageSample& sample) {
  sample.service = json.at("service").get<ServiceID>();
  sample.windowID = json.at("windowID").get<std::string>();
  sample.usedPercent = json.at("usedPercent").get<double>();
  sample.at = fromEpochSeconds(json.at("at").get<double>());
}

namespace TrendConfidences {

std::string raw(TrendConfidence confidence) {
  switch (confidence) {
    case TrendConfidence::insufficient:
      return "insufficient";
    case TrendConfidence::low:
      return "low";
    case TrendConfidence::ok:
      return "ok";
  }
  return {};
}

std::optional<TrendConfidence> fromRaw(std::string_view raw) {
  for (auto confidence : {TrendConfidence::insufficient, TrendConfidence::low, TrendConfidence::ok}) {
    if (raw == TrendConfidences::raw(confidence)) return confidence;
  }
  return std::nullopt;
}

}  // namespace TrendConfidences

void to_json(nlohmann::json& json, TrendConfidence confidence) { json = TrendConfidences::raw(confidence); }

void from_json(const nlohmann::json& json, TrendConfidence& confidence) {
  const auto parsed = TrendConfidences::fromRaw(json.get<std::string>());
  if (!parsed) throw nlohmann::json::other_error::create(501, "unknown trend confidence", &json);
  confidence = *parsed;
}
