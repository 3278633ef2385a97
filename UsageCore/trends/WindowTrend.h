#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/HistoryEntry.h"
#include "model/ServiceID.h"
#include "model/TimePoint.h"

// One point of a trend's sparkline: a history entry without its reset time.
struct UsageSample {
  ServiceID service = ServiceID::claude;
  std::string windowID;
  double usedPercent = 0;
  TimePoint at;

  static UsageSample from(const HistoryEntry& entry) {
    return {entry.service, entry.windowID, entry.usedPercent, entry.at};
  }
  bool operator==(const UsageSample&) const = default;
};

// {"service","windowID","usedPercent","at"}, the time as seconds since 1970.
void to_json(nlohmann::json& json, const UsageSample& sample);
void from_json(const nlohmann::json& json, UsageSample& sample);

enum class TrendConfidence { insufficient, low, ok };

namespace TrendConfidences {
// Raw value: "insufficient", "low" or "ok".
std::string raw(TrendConfidence confidence);
std::optional<TrendConfidence> fromRaw(std::string_view raw);
}  // namespace TrendConfidences

void to_json(nlohmann::json& json, TrendConfidence confidence);
void from_json(const nlohmann::json& json, TrendConfidence& confidence);

// The forecast for one window.
struct TrendVerdict {
  enum class Kind { onTrack, exhaustsBeforeReset, unknown, idle, alreadyFull };

  Kind kind = Kind::unknown;
  std::optional<TimePoint> fullAt;    // only for exhaustsBeforeReset
  std::optional<TimePoint> resetsAt;  // only for onTrack and exhaustsBeforeReset

  // Not full before the reset (or before the window's length has passed when no reset is known).
  static TrendVerdict onTrack(std::optional<TimePoint> resetsAt) { return {Kind::onTrack, std::nullopt, resetsAt}; }
  static TrendVerdict exhaustsBeforeReset(TimePoint fullAt, std::optional<TimePoint> resetsAt) {
    return {Kind::exhaustsBeforeReset, fullAt, resetsAt};
  }
  static TrendVerdict unknown() { return {Kind::unknown, std::nullopt, std::nullopt}; }
  static TrendVerdict idle() { return {Kind::idle, std::nullopt, std::nullopt}; }
  static TrendVerdict alreadyFull() { return {Kind::alreadyFull, std::nullopt, std::nullopt}; }

  bool operator==(const TrendVerdict&) const = default;
};

// The trend of one window: the current cycle's samples (oldest first), the fitted rate and the forecast.
struct WindowTrend {
  ServiceID service = ServiceID::claude;
  std::string windowID;
  std::vector<UsageSample> samples;
  std::optional<double> ratePerHour;  // percent points per hour, never negative
  TrendVerdict verdict;
  TrendConfidence confidence = TrendConfidence::insufficient;

  // No samples, no rate, unknown, insufficient.
  static WindowTrend insufficient(ServiceID service, std::string windowID) {
    return {service, std::move(windowID), {}, std::nullopt, TrendVerdict::unknown(), TrendConfidence::insufficient};
  }
  bool operator==(const WindowTrend&) const = default;
};
