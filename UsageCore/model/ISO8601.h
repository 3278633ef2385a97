#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/TimePoint.h"

// Internet date-times: "2026-04-11T07:00:00Z", "2026-04-11T07:00:00.528743+00:00".
namespace ISO8601 {

// Strict: YYYY-MM-DD 'T' hh:mm:ss, an optional fraction of any length, then 'Z' or ±hh:mm.
// Anything else (other separators, missing zone, out-of-range fields, trailing text) gives nothing.
std::optional<TimePoint> parse(std::string_view text);

// UTC with milliseconds and "Z", for example "2026-04-11T07:00:00.528Z".
std::string format(TimePoint time);

}  // namespace ISO8601
