// The lossy history decoder never throws, and what it decodes survives an encode and decode
// unchanged.
#include <cstdlib>
#include <string_view>
#include <vector>

#include "history/HistoryCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<HistoryEntry> decoded;
  const auto version = HistoryCodec::decodeLossy(std::string_view(reinterpret_cast<const char*>(data), size),
                                                 [&](HistoryEntry&& entry) { decoded.push_back(std::move(entry)); });
  if (!version) return 0;
  std::vector<HistoryEntry> again;
  const auto reread = HistoryCodec::decodeLossy(HistoryCodec::encode(decoded),
                                                [&](HistoryEntry&& entry) { again.push_back(std::move(entry)); });
  if (!reread || again.size() != decoded.size()) std::abort();
  for (std::size_t i = 0; i < again.size(); ++i) {
    // NaN never decodes, so equality is well defined here.
    if (!(again[i] == decoded[i])) std::abort();
  }
  return 0;
}
