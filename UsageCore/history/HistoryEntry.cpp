#include "history/HistoryEntry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string_view>

namespace {
constexpr std::array<std::string_view, 8> kRecordableWindows{
    "five_hour",        "seven_day",     "seven_day_opus", "seven_day_sonnet", "seven_day_oauth_apps",
    "seven_day_cowork", "codex_primary", "codex_secondary"};
}

bool HistoryEntry::isRecordable() const {
  const bool known =
      std::find(kRecordableWindows.begin(), kRecordableWindows.end(), windowID) != kRecordableWindows.end();
  return known && std::isfinite(usedPercent) && std::isfinite(toEpochSeconds(at)) &&
         (!resetsAt || std::isfinite(toEpochSeconds(*resetsAt)));
}

bool HistoryKey::operator<(const HistoryKey& other) const {
  const auto lhs = ServiceIDs::id(service);
  const auto rhs = ServiceIDs::id(other.service);
  if (lhs != rhs) return lhs < rhs;
  return windowID < other.windowID;
}

void to_json(nlohmann::json& json, const HistoryEntry& entry) {
  json = nlohmann::json{{"service", entry.service},
                        {"windowID", entry.windowID},
                        {"usedPercent", entry.usedPercent},
                        {"at", toEpochSeconds(entry.at)}};
  if (entry.resetsAt) json["resetsAt"] = toEpochSeconds(*entry.resetsAt);
}

void from_json(const nlohmann::json& json, HistoryEntry& entry) {
  entry.service = json.at("service").get<ServiceID>();
  entry.windowID = json.at("windowID").get<std::string>();
  entry.usedPercent = json.at("usedPercent").get<double>();
  entry.at = fromEpochSeconds(json.at("at").get<double>());
  entry.resetsAt.reset();
  if (const auto it = json.find("resetsAt"); it != json.end() && !it->is_null()) {
    entry.resetsAt = fromEpochSeconds(it->get<double>());
  }
}
