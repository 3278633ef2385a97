#include "history/HistoryCodec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace HistoryCodec {

namespace {

// Shortest text that reads back as the same double.
void appendNumber(std::string& out, double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// JSON string; plain ASCII (every known window id) is copied as it is.
void appendString(std::string& out, const std::string& text) {
  const bool plain =
      std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f && c != '"' && c != '\\'; });
  if (plain) {
    out += '"';
    out += text;
    out += '"';
  } else {
    out += nlohmann::json(text).dump();
  }
}

void appendEntry(std::string& out, const HistoryKey& key, const HistorySample& sample) {
  out += R"({"service":)";
  appendString(out, ServiceIDs::id(key.service));
  out += R"(,"windowID":)";
  appendString(out, key.windowID);
  out += R"(,"usedPercent":)";
  appendNumber(out, sample.usedPercent);
  out += R"(,"at":)";
  appendNumber(out, sample.at);
  if (!std::isnan(sample.resetsAt)) {
    out += R"(,"resetsAt":)";
    appendNumber(out, sample.resetsAt);
  }
  out += '}';
}

std::string header() { return R"({"version":)" + std::to_string(currentVersion) + R"(,"entries":[)"; }

}  // namespace

std::string encode(const HistoryMap& entries) {
  std::size_t count = 0;
  for (const auto& [key, series] : entries) count += series.size();
  std::string out = header();
  out.reserve(64 + count * 110);
  bool first = true;
  for (const auto& [key, series] : entries) {
    for (const auto& sample : series) {
      if (!first) out += ',';
      first = false;
      appendEntry(out, key, sample);
    }
  }
  out += "]}";
  return out;
}

std::string encode(const std::vector<HistoryEntry>& entries) {
  std::string out = header();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += ',';
    appendEntry(out, HistoryKey{entries[i].service, entries[i].windowID}, HistorySample::from(entries[i]));
  }
  out += "]}";
  return out;
}

namespace {

// Streams the body straight into entries; building a full JSON tree first costs several times more.
// Semantics match decoding the tree: unknown keys are ignored, a repeated key's last value wins, and
// an element with a missing or mistyped field is absent.
class LossyReader : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit LossyReader(const std::function<void(HistoryEntry&&)>& sink) : m_sink(sink) {}

  std::optional<long long> result() const {
    if (m_failed || !m_entriesValid) return std::nullopt;
    return m_version;
  }

  bool null() override { return value(Kind::null, 0); }
  bool boolean(bool) override { return value(Kind::other, 0); }
  bool number_integer(number_integer_t number) override {
    m_integer = number;
    return value(Kind::integer, static_cast<double>(number));
  }
  bool number_unsigned(number_unsigned_t number) override {
    // Any version out of range is simply not one we read.
    m_integer = number > static_cast<number_unsigned_t>(std::numeric_limits<long long>::max())
                    ? std::numeric_limits<long long>::max()
                    : static_cast<long long>(number);
    return value(Kind::integer, static_cast<double>(number));
  }
  bool number_float(number_float_t number, const string_t&) override { return value(Kind::floating, number); }
  bool string(string_t& text) override {
    m_string = &text;
    const bool ok = value(Kind::string, 0);
    m_string = nullptr;
    return ok;
  }
  bool binary(binary_t&) override { return value(Kind::other, 0); }

  bool start_object(std::size_t) override { return open(true); }
  bool start_array(std::size_t) override { return open(false); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool key(string_t& name) override {
    if (m_depth == 1) m_rootKey = name;
    if (m_depth == 3) m_field = name;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    m_failed = true;
    return false;
  }

 private:
  enum class Kind { null, integer, floating, string, other, container };
  enum class Field { missing, valid, invalid };

  struct Element {
    Field service = Field::missing;
    Field windowID = Field::missing;
    Field usedPercent = Field::missing;
    Field at = Field::missing;
    Field resetsAt = Field::missing;
    HistoryEntry entry;
  };

  bool open(bool isObject) {
    if (m_depth == 0) {
      if (!isObject) return fail();
    } else {
      value(Kind::container, 0);
      if (m_depth == 1 && m_rootKey == "entries" && !isObject) {
        // A repeated "entries" key would replace the list, which cannot be taken back.
        if (m_entriesSeen) return fail();
        m_entriesSeen = true;
        m_inEntries = true;
        m_entriesValid = true;
      }
      if (m_depth == 2 && m_inEntries) {
        m_inElement = isObject;
        m_element = Element{};
      }
    }
    ++m_depth;
    return true;
  }

  bool close() {
    --m_depth;
    if (m_depth == 2 && m_inElement) {
      m_inElement = false;
      finishElement();
    } else if (m_depth == 1) {
      m_inEntries = false;
    }
    return true;
  }

  bool fail() {
    m_failed = true;
    return false;
  }

  // A value at the current depth; containers arrive here too, as kind `container`.
  bool value(Kind kind, double number) {
    if (m_depth == 0) return fail();  // the body must be an object
    if (m_depth == 1) {
      if (m_rootKey == "version") {
        m_version = kind == Kind::integer ? std::optional<long long>(m_integer) : std::nullopt;
      } else if (m_rootKey == "entries") {
        m_entriesValid = false;  // an array sets it again in open()
      }
    } else if (m_depth == 3 && m_inElement) {
      field(kind, number);
    }
    return true;
  }

  void field(Kind kind, double number) {
    const bool isNumber = kind == Kind::integer || kind == Kind::floating;
    auto& e = m_element;
    if (m_field == "service") {
      const auto service = kind == Kind::string ? ServiceIDs::fromRaw(*m_string) : std::nullopt;
      e.service = service ? Field::valid : Field::invalid;
      if (service) e.entry.service = *service;
    } else if (m_field == "windowID") {
      e.windowID = kind == Kind::string ? Field::valid : Field::invalid;
      if (kind == Kind::string) e.entry.windowID = *m_string;
    } else if (m_field == "usedPercent") {
      e.usedPercent = isNumber ? Field::valid : Field::invalid;
      e.entry.usedPercent = number;
    } else if (m_field == "at") {
      e.at = isNumber ? Field::valid : Field::invalid;
      e.entry.at = fromEpochSeconds(number);
    } else if (m_field == "resetsAt") {
      e.resetsAt = isNumber || kind == Kind::null ? Field::valid : Field::invalid;
      e.entry.resetsAt = isNumber ? std::optional<TimePoint>(fromEpochSeconds(number)) : std::nullopt;
    }
  }

  void finishElement() {
    const auto& e = m_element;
    const bool valid = e.service == Field::valid && e.windowID == Field::valid && e.usedPercent == Field::valid &&
                       e.at == Field::valid && e.resetsAt != Field::invalid;
    if (valid) m_sink(std::move(m_element.entry));
  }

  const std::function<void(HistoryEntry&&)>& m_sink;
  bool m_entriesSeen = false;
  int m_depth = 0;
  bool m_failed = false;
  bool m_entriesValid = false;
  bool m_inEntries = false;
  bool m_inElement = false;
  std::optional<long long> m_version;
  long long m_integer = 0;
  std::string m_rootKey;
  std::string m_field;
  const std::string* m_string = nullptr;
  Element m_element;
};

}  // namespace

std::optional<long long> decodeLossy(std::string_view bytes, const std::function<void(HistoryEntry&&)>& element) {
  LossyReader reader(element);
  try {
    if (!nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader)) return std::nullopt;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  return reader.result();
}

}  // namespace HistoryCodec
