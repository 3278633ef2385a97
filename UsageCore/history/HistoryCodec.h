#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/HistoryEntry.h"

// The history file's body: {"version":1,"entries":[...]} as compact JSON.
namespace HistoryCodec {

inline constexpr long long currentVersion = 1;

// Series in map order (service raw value, then window id), each already ordered
// by `at`.
std::string encode(const HistoryMap& entries);

struct LossyBody {
  long long version = 0;
  // File order; an element that does not decode as a HistoryEntry is absent.
  std::vector<std::optional<HistoryEntry>> entries;
};

// Absent when the bytes are not JSON or "version" (integer) or "entries"
// (array) is missing or mistyped. Single undecodable elements never fail the
// whole body.
std::optional<LossyBody> decodeLossy(std::string_view bytes);

}  // namespace HistoryCodec
