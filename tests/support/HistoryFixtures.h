#pragma once

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "EventLoop.h"
#include "history/HistoryStore.h"

// One sample of a window, times in seconds since 1970.
inline HistoryEntry sample(const std::string& window, double percent, double at,
                           std::optional<double> resetsAt = std::nullopt, ServiceID service = ServiceID::claude) {
  return {service, window, percent, fromEpochSeconds(at),
          resetsAt ? std::optional(fromEpochSeconds(*resetsAt)) : std::nullopt};
}

// A history file's body holding these elements.
inline std::string historyJson(const nlohmann::json& elements) {
  return nlohmann::json{{"version", 1}, {"entries", elements}}.dump();
}

// Every sample the next start finds in a history file and its journal. A read-only look without a
// usable clock prunes nothing.
inline std::vector<HistoryEntry> historyOnDisk(const std::filesystem::path& file) {
  HistoryStore look(file, HistoryStore::Policy::standard(), HistoryStore::Access::readOnly);
  std::vector<HistoryEntry> entries;
  for (const auto& [key, series] : awaitFuture(look.load(fromEpochSeconds(HUGE_VAL))).entries) {
    for (const auto& entry : series.entries(key)) entries.push_back(entry);
  }
  return entries;
}
