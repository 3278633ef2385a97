#pragma once

#include <chrono>
#include <functional>

// Wall-clock instants as double seconds since 1970, the precision the history file keeps.
using Seconds = std::chrono::duration<double>;
using TimePoint = std::chrono::time_point<std::chrono::system_clock, Seconds>;
using Clock = std::function<TimePoint()>;

inline double toEpochSeconds(TimePoint t) { return t.time_since_epoch().count(); }
inline TimePoint fromEpochSeconds(double seconds) { return TimePoint(Seconds(seconds)); }

// 0001-01-01T00:00:00Z, used where a record carries no readable time.
inline constexpr double distantPastEpochSeconds = -62135596800.0;
inline TimePoint distantPast() { return fromEpochSeconds(distantPastEpochSeconds); }

inline TimePoint systemNow() { return std::chrono::time_point_cast<Seconds>(std::chrono::system_clock::now()); }
