#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "model/TimePoint.h"

// One rate-limit window of a service.
struct UsageWindow {
  std::string id;
  std::string label;
  double usedPercent = 0;
  std::optional<TimePoint> resetsAt;
  std::optional<int> windowMinutes;

  UsageWindow() = default;
  // Clamps usedPercent to 0...100; NaN becomes 0.
  UsageWindow(std::string id, std::string label, double usedPercent, std::optional<TimePoint> resetsAt = std::nullopt,
              std::optional<int> windowMinutes = std::nullopt);

  double remainingPercent() const { return 100.0 - usedPercent; }
  bool operator==(const UsageWindow&) const = default;
};

double clampPercent(double value);

// {"id","label","usedPercent","resetsAt"?,"windowMinutes"?}; reading does not clamp.
void to_json(nlohmann::json& json, const UsageWindow& window);
void from_json(const nlohmann::json& json, UsageWindow& window);
