#include "HistoryCodec.h"

#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>

namespace HistoryCodec {

namespace {

// Shortest text that reads back as the same double.
void appendNumber(std::string &out, double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void appendEntry(std::string &out, const HistoryEntry &entry) {
  out += R"({"service":)";
  out += nlohmann::json(ServiceIDs::id(entry.service)).dump();
  out += R"(,"windowID":)";
  out += nlohmann::json(entry.windowID).dump();
  out += R"(,"usedPercent":)";
  appendNumber(out, entry.usedPercent);
  out += R"(,"at":)";
  appendNumber(out, toEpochSeconds(entry.at));
  if (entry.resetsAt) {
    out += R"(,"resetsAt":)";
    appendNumber(out, toEpochSeconds(*entry.resetsAt));
  }
  out += '}';
}

} // namespace

std::string encode(const HistoryMap &entries) {
  std::string out;
  std::size_t count = 0;
  for (const auto &[key, series] : entries)
    count += series.size();
  out.reserve(64 + count * 110);
  out += R"({"version":)";
  out += std::to_string(currentVersion);
  out += R"(,"entries":[)";
  bool first = true;
  for (const auto &[key, series] : entries) {
    for (const auto &entry : series) {
      if (!first)
        out += ',';
      first = false;
      appendEntry(out, entry);
    }
  }
  out += "]}";
  return out;
}

std::optional<LossyBody> decodeLossy(std::string_view bytes) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(bytes.begin(), bytes.end());
  } catch (const nlohmann::json::exception &) {
    return std::nullopt;
  }
  if (!document.is_object())
    return std::nullopt;
  const auto version = document.find("version");
  const auto entries = document.find("entries");
  if (version == document.end() || entries == document.end())
    return std::nullopt;
  if (!entries->is_array())
    return std::nullopt;

  LossyBody body;
  if (version->is_number_unsigned()) {
    const auto raw = version->get<unsigned long long>();
    // Any out-of-range version is simply not one we read.
    body.version = raw > static_cast<unsigned long long>(
                             std::numeric_limits<long long>::max())
                       ? std::numeric_limits<long long>::max()
                       : static_cast<long long>(raw);
  } else if (version->is_number_integer()) {
    body.version = version->get<long long>();
  } else {
    return std::nullopt;
  }

  body.entries.reserve(entries->size());
  for (const auto &element : *entries) {
    try {
      body.entries.emplace_back(element.get<HistoryEntry>());
    } catch (const nlohmann::json::exception &) {
      body.entries.emplace_back(std::nullopt);
    }
  }
  return body;
}

} // namespace HistoryCodec
