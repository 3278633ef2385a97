#pragma once

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "history/HistorySeries.h"
#include "model/ServiceID.h"
#include "model/TimePoint.h"

// One stored usage sample of one window.
struct HistoryEntry {
  ServiceID service = ServiceID::claude;
  std::string windowID;
  double usedPercent = 0;
  TimePoint at;
  std::optional<TimePoint> resetsAt;

  // Known window id and finite numbers.
  bool isRecordable() const;
  bool operator==(const HistoryEntry&) const = default;
};

// Identifies one series; ordered by service raw value, then window id (the file order).
struct HistoryKey {
  ServiceID service = ServiceID::claude;
  std::string windowID;

  bool operator==(const HistoryKey&) const = default;
  bool operator<(const HistoryKey& other) const;
};

// Every stored series; each key is held once, its samples compactly (HistorySeries).
using HistoryMap = std::map<HistoryKey, HistorySeries>;

// The history file's element form; times as seconds since 1970, "resetsAt" omitted when absent.
void to_json(nlohmann::json& json, const HistoryEntry& entry);
void from_json(const nlohmann::json& json, HistoryEntry& entry);
