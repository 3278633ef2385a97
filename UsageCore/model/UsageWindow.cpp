#include "model/UsageWindow.h"

#include <cmath>
#include <nlohmann/json.hpp>

double clampPercent(double value) {
  if (std::isnan(value) || value < 0) return 0;
  if (value > 100) return 100;
  return value;
}

UsageWindow::UsageWindow(std::string id, std::string label, double usedPercent, std::optional<TimePoint> resetsAt,
                         std::optional<int> windowMinutes)
    : id(std::move(id)),
      label(std::move(label)),
      usedPercent(clampPercent(usedPercent)),
      resetsAt(resetsAt),
      windowMinutes(windowMinutes) {}

void to_json(nlohmann::json& json, const UsageWindow& window) {
  json = nlohmann::json{{"id", window.id}, {"label", window.label}, {"usedPercent", window.usedPercent}};
  if (window.resetsAt) json["resetsAt"] = toEpochSeconds(*window.resetsAt);
  if (window.windowMinutes) json["windowMinutes"] = *window.windowMinutes;
}

void from_json(const nlohmann::json& json, UsageWindow& window) {
  window.id = json.at("id").get<std::string>();
  window.label = json.at("label").get<std::string>();
  window.usedPercent = json.at("usedPercent").get<double>();
  window.resetsAt.reset();
  window.windowMinutes.reset();
  if (const auto it = json.find("resetsAt"); it != json.end() && !it->is_null()) {
    window.resetsAt = fromEpochSeconds(it->get<double>());
  }
  if (const auto it = json.find("windowMinutes"); it != json.end() && !it->is_null()) {
    if (!it->is_number_integer()) {
      throw nlohmann::json::type_error::create(302, "windowMinutes must be an integer", &json);
    }
    window.windowMinutes = it->get<int>();
  }
}
