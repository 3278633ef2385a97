#pragma once

#include <functional>
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
// The same body for a list of entries in the given order.
std::string encode(const std::vector<HistoryEntry>& entries);

// Hands every element that decodes as a HistoryEntry to `element`, in file order, and returns
// "version". Absent when the bytes are not JSON or "version" (integer) or "entries" (array) is
// missing or mistyped; elements may have been handed over before that shows. Single undecodable
// elements never fail the whole body.
std::optional<long long> decodeLossy(std::string_view bytes, const std::function<void(HistoryEntry&&)>& element);
// The same through a general JSON reader; decodeLossy takes it for bodies this program did not write.
std::optional<long long> decodeStreaming(std::string_view bytes, const std::function<void(HistoryEntry&&)>& element);

}  // namespace HistoryCodec
