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

// The body as this program writes it: plain ASCII strings, numbers, no nesting inside elements.
// Read without any JSON machinery; whatever else shows up (escapes, nested values, odd versions,
// bad syntax) makes it give up, and the general reader decides. Elements are kept until the end so
// that giving up never hands anything over twice.
class FixedReader {
 public:
  explicit FixedReader(std::string_view bytes) : m_p(bytes.data()), m_end(bytes.data() + bytes.size()) {}

  // Absent when it gave up; otherwise what decodeLossy returns, the elements handed to `element`.
  std::optional<std::optional<long long>> read(const std::function<void(HistoryEntry&&)>& element) {
    if (!body()) return std::nullopt;
    HistoryEntry entry;
    for (const Element& e : m_elements) {
      entry.service = e.service;
      entry.windowID.assign(m_windowIDs[e.windowID]);
      entry.usedPercent = e.usedPercent;
      entry.at = fromEpochSeconds(e.at);
      entry.resetsAt = std::isnan(e.resetsAt) ? std::nullopt : std::optional(fromEpochSeconds(e.resetsAt));
      element(std::move(entry));
    }
    if (!m_entries) return std::optional<long long>();
    return std::optional<long long>(m_version);
  }

 private:
  struct Element {
    ServiceID service;
    std::uint32_t windowID;
    double usedPercent;
    double at;
    double resetsAt;  // NaN: none
  };
  enum class Kind { null, number, string, other };

  void space() {
    while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t')) ++m_p;
  }
  bool take(char c) {
    space();
    if (m_p == m_end || *m_p != c) return false;
    ++m_p;
    return true;
  }
  bool peek(char c) {
    space();
    return m_p < m_end && *m_p == c;
  }
  // A string without escapes, control or non-ASCII bytes.
  bool string(std::string_view& text) {
    if (!take('"')) return false;
    const char* start = m_p;
    while (m_p < m_end && *m_p != '"') {
      const auto byte = static_cast<unsigned char>(*m_p);
      if (byte < 0x20 || byte >= 0x80 || byte == '\\') return false;
      ++m_p;
    }
    if (m_p == m_end) return false;
    text = std::string_view(start, static_cast<std::size_t>(m_p - start));
    ++m_p;
    return true;
  }
  // A JSON number, read the way the general reader reads it: integers as integers.
  bool number(double& value, std::optional<long long>& integer) {
    const char* start = m_p;
    const char* p = m_p;
    if (p < m_end && *p == '-') ++p;
    if (p == m_end || *p < '0' || *p > '9') return false;
    if (*p == '0') {
      ++p;
    } else {
      while (p < m_end && *p >= '0' && *p <= '9') ++p;
    }
    bool whole = true;
    if (p < m_end && *p == '.') {
      whole = false;
      if (++p == m_end || *p < '0' || *p > '9') return false;
      while (p < m_end && *p >= '0' && *p <= '9') ++p;
    }
    if (p < m_end && (*p == 'e' || *p == 'E')) {
      whole = false;
      if (++p < m_end && (*p == '+' || *p == '-')) ++p;
      if (p == m_end || *p < '0' || *p > '9') return false;
      while (p < m_end && *p >= '0' && *p <= '9') ++p;
    }
    m_p = p;
    integer.reset();
    if (whole) {
      if (*start == '-') {
        long long n;
        if (std::from_chars(start, p, n).ec == std::errc()) {
          integer = n;
          value = static_cast<double>(n);
          return true;
        }
      } else {
        unsigned long long n;
        if (std::from_chars(start, p, n).ec == std::errc()) {
          if (n <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())) integer = n;
          value = static_cast<double>(n);
          return true;
        }
      }
    }
    // Out of range either way: left to the general reader.
    return std::from_chars(start, p, value).ec == std::errc();
  }
  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(m_end - m_p) < word.size() || std::string_view(m_p, word.size()) != word) return false;
    m_p += word.size();
    return true;
  }
  // A value that is not a container.
  bool scalar(Kind& kind, double& number, std::optional<long long>& integer, std::string_view& text) {
    space();
    if (m_p == m_end) return false;
    switch (*m_p) {
      case '"':
        kind = Kind::string;
        return string(text);
      case 'n':
        kind = Kind::null;
        return literal("null");
      case 't':
        kind = Kind::other;
        return literal("true");
      case 'f':
        kind = Kind::other;
        return literal("false");
      default:
        kind = Kind::number;
        return this->number(number, integer);
    }
  }

  bool body() {
    if (!take('{')) return false;
    if (!take('}')) {
      do {
        std::string_view key;
        if (!string(key) || !take(':')) return false;
        if (key == "entries") {
          if (m_entries || !take('[')) return false;
          m_entries = true;
          if (!entries()) return false;
        } else {
          Kind kind;
          double number;
          std::optional<long long> integer;
          std::string_view text;
          if (!scalar(kind, number, integer, text)) return false;
          if (key == "version") {
            if (!integer) return false;
            m_version = *integer;
            m_hasVersion = true;
          }
        }
      } while (take(','));
      if (!take('}')) return false;
    }
    space();
    return m_p == m_end && m_hasVersion;
  }

  bool entries() {
    if (take(']')) return true;
    do {
      if (peek('{')) {
        if (!element()) return false;
      } else {
        Kind kind;
        double number;
        std::optional<long long> integer;
        std::string_view text;
        if (peek('[') || !scalar(kind, number, integer, text)) return false;  // other values are no elements
      }
    } while (take(','));
    return take(']');
  }

  bool element() {
    take('{');
    enum Field : unsigned { service = 1, windowID = 2, usedPercent = 4, at = 8 };
    unsigned valid = 0, invalid = 0;
    Element e{ServiceID::claude, 0, 0, 0, std::nan("")};
    if (!take('}')) {
      do {
        std::string_view key;
        Kind kind;
        double number = 0;
        std::optional<long long> integer;
        std::string_view text;
        if (!string(key) || !take(':') || !scalar(kind, number, integer, text)) return false;
        const auto mark = [&](unsigned field, bool ok) {
          valid = ok ? valid | field : valid & ~field;
          invalid = ok ? invalid & ~field : invalid | field;
        };
        if (key == "service") {
          const auto id = kind == Kind::string ? ServiceIDs::fromRaw(text) : std::nullopt;
          mark(service, id.has_value());
          if (id) e.service = *id;
        } else if (key == "windowID") {
          mark(windowID, kind == Kind::string);
          if (kind == Kind::string) e.windowID = windowIndex(text);
        } else if (key == "usedPercent") {
          mark(usedPercent, kind == Kind::number);
          e.usedPercent = number;
        } else if (key == "at") {
          mark(at, kind == Kind::number);
          e.at = number;
        } else if (key == "resetsAt") {
          m_resetsInvalid = kind != Kind::number && kind != Kind::null;
          e.resetsAt = kind == Kind::number ? number : std::nan("");
        }
      } while (take(','));
      if (!take('}')) return false;
    }
    const bool resetsOk = !m_resetsInvalid;
    m_resetsInvalid = false;
    if (valid == (service | windowID | usedPercent | at) && invalid == 0 && resetsOk) m_elements.push_back(e);
    return true;
  }

  std::uint32_t windowIndex(std::string_view id) {
    for (std::size_t i = 0; i < m_windowIDs.size(); ++i) {
      if (m_windowIDs[i] == id) return static_cast<std::uint32_t>(i);
    }
    m_windowIDs.emplace_back(id);
    return static_cast<std::uint32_t>(m_windowIDs.size() - 1);
  }

  const char* m_p;
  const char* m_end;
  bool m_entries = false;
  bool m_hasVersion = false;
  bool m_resetsInvalid = false;
  long long m_version = 0;
  std::vector<Element> m_elements;
  std::vector<std::string> m_windowIDs;
};

}  // namespace

std::optional<long long> decodeLossy(std::string_view bytes, const std::function<void(HistoryEntry&&)>& element) {
  if (auto fixed = FixedReader(bytes).read(element)) return *fixed;
  return decodeStreaming(bytes, element);
}

std::optional<long long> decodeStreaming(std::string_view bytes, const std::function<void(HistoryEntry&&)>& element) {
  LossyReader reader(element);
  try {
    if (!nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader)) return std::nullopt;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  return reader.result();
}

}  // namespace HistoryCodec
