// The lossy history decoder never throws; what it decodes encodes and decodes again unchanged.
#include <cstdlib>
#include <string_view>

#include "history/HistoryCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto body = HistoryCodec::decodeLossy(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!body) return 0;
  HistoryMap map;
  for (const auto& entry : body->entries) {
    if (entry) map[entry->key()].push_back(*entry);
  }
  for (auto& [key, series] : map) {
    std::stable_sort(series.begin(), series.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
  }
  const std::string encoded = HistoryCodec::encode(map);
  const auto again = HistoryCodec::decodeLossy(encoded);
  if (!again) std::abort();
  std::size_t count = 0;
  for (const auto& [key, series] : map) count += series.size();
  if (again->entries.size() != count) std::abort();
  for (const auto& entry : again->entries) {
    if (!entry) std::abort();
  }
  return 0;
}
