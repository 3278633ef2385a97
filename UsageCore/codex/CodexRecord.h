#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/ServiceUsage.h"
#include "model/TimePoint.h"

// One rate-limit record of a Codex session log, decoded and checked but not yet worded: the log
// reader keeps one per log instead of a whole usage and words only the one it reports.
struct CodexRecord {
  struct Window {
    double usedPercent = 0;  // finite, not yet clamped
    std::optional<int> windowMinutes;
    std::optional<double> resetsAt;  // seconds since 1970, within years 1 to 9999
    bool operator==(const Window&) const = default;
  };

  std::optional<Window> primary;
  std::optional<Window> secondary;  // at least one of the two is present
  std::optional<std::string> planType;
  std::optional<TimePoint> recordedAt;  // none: missing or unreadable time stamp

  // None for a line that is not a rate-limit record of the account's main limit; throws like
  // UsageParsing::codexEvent for one of the wrong shape.
  static std::optional<CodexRecord> decode(std::string_view line);
  // The same as decode, with a malformed line giving none; the usual record line is read without
  // building a JSON tree.
  static std::optional<CodexRecord> fromLine(std::string_view line);
  // Whether a line can be a rate-limit record at all, by its bytes alone.
  static bool mayBeRecord(std::string_view line);

  TimePoint fetchedAt() const { return recordedAt.value_or(distantPast()); }
  // The usage as seen at `now`: windows whose reset time has passed are marked as reset.
  ServiceUsage usage(const std::optional<std::string>& planName, TimePoint now) const;

  bool operator==(const CodexRecord&) const = default;
};
