// Reads a rate-limit record straight from its line, without a JSON tree: a first scan meets one such
// line per log, thousands of times. Only lines the general decoder reads in exactly the same way are
// judged here; anything else (escapes, non-ASCII text, repeated keys, unusual numbers, deep nesting)
// goes to the general decoder.

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <exception>
#include <optional>
#include <string_view>

#include "codex/CodexRecord.h"
#include "model/ISO8601.h"

// Named inside the unnamed namespace: batched builds put this file next to others with helpers of
// their own.
namespace {
namespace quick {

// Deeper than any record; the general decoder takes such a line.
constexpr int kMaxDepth = 32;
constexpr double kFirstSecondOfYear1 = -62135596800.0;
constexpr double kLastSecondOfYear9999 = 253402300799.0;

// The line is not one this reader judges exactly.
struct Undecided {};

struct Number {
  std::string_view text;
  bool integer = true;
};

// A strict reader of one JSON text, position by position. Every structural fault is Undecided:
// the general decoder then rejects the line with its own error.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : m_at(text.data()), m_end(text.data() + text.size()) {}

  char peek() {
    while (m_at != m_end && (*m_at == ' ' || *m_at == '\t' || *m_at == '\r' || *m_at == '\n')) ++m_at;
    if (m_at == m_end) throw Undecided{};
    return *m_at;
  }
  bool atEnd() {
    while (m_at != m_end && (*m_at == ' ' || *m_at == '\t' || *m_at == '\r' || *m_at == '\n')) ++m_at;
    return m_at == m_end;
  }

  // Offers each key to `member`, which reads or skips its value.
  template <typename Member>
  void object(int depth, Member&& member) {
    if (depth > kMaxDepth) throw Undecided{};
    expect('{');
    if (peek() == '}') {
      ++m_at;
      return;
    }
    for (;;) {
      peek();
      const std::string_view key = string();
      expect(':');
      member(key);
      const char next = peek();
      ++m_at;
      if (next == '}') return;
      if (next != ',') throw Undecided{};
    }
  }

  // Plain text only: with escapes or non-ASCII bytes the decoded value differs from the bytes.
  std::string_view string() {
    expect('"');
    const char* const begin = m_at;
    for (; m_at != m_end; ++m_at) {
      const auto byte = static_cast<unsigned char>(*m_at);
      if (byte == '"') return {begin, static_cast<std::size_t>(m_at++ - begin)};
      if (byte < 0x20 || byte >= 0x80 || byte == '\\') throw Undecided{};
    }
    throw Undecided{};
  }

  Number number() {
    const char* const begin = m_at;
    if (m_at != m_end && *m_at == '-') ++m_at;
    if (m_at != m_end && *m_at == '0') {
      ++m_at;
    } else {
      digits();
    }
    Number number;
    if (m_at != m_end && *m_at == '.') {
      ++m_at;
      digits();
      number.integer = false;
    }
    if (m_at != m_end && (*m_at == 'e' || *m_at == 'E')) {
      ++m_at;
      if (m_at != m_end && (*m_at == '+' || *m_at == '-')) ++m_at;
      digits();
      number.integer = false;
    }
    number.text = {begin, static_cast<std::size_t>(m_at - begin)};
    return number;
  }

  // Null, for an optional member: none.
  bool null() {
    if (peek() != 'n') return false;
    literal("null");
    return true;
  }

  void skip(int depth) {
    switch (peek()) {
      case '{':
        object(depth, [&](std::string_view) { skip(depth + 1); });
        return;
      case '[':
        array(depth);
        return;
      case '"':
        string();
        return;
      case 't':
        literal("true");
        return;
      case 'f':
        literal("false");
        return;
      case 'n':
        literal("null");
        return;
      default:
        // A number too large for a double fails the general decoder.
        if (const Number skipped = number(); !skipped.integer || skipped.text.size() > 18) toDouble(skipped);
    }
  }

  static double toDouble(const Number& number) {
    const char* const end = number.text.data() + number.text.size();
    if (number.integer) return static_cast<double>(toInteger(number));
#if defined(__cpp_lib_to_chars)
    double value;
    const auto [stop, error] = std::from_chars(number.text.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) throw Undecided{};
    return value;
#else
    throw Undecided{};  // no locale-free float reading here: the general decoder does it
#endif
  }

  static long long toInteger(const Number& number) {
    const char* const end = number.text.data() + number.text.size();
    long long value;
    const auto [stop, error] = std::from_chars(number.text.data(), end, value);
    if (error != std::errc() || stop != end) throw Undecided{};
    return value;
  }

 private:
  void expect(char wanted) {
    if (peek() != wanted) throw Undecided{};
    ++m_at;
  }
  void digits() {
    if (m_at == m_end || *m_at < '0' || *m_at > '9') throw Undecided{};
    while (m_at != m_end && *m_at >= '0' && *m_at <= '9') ++m_at;
  }
  void literal(std::string_view word) {
    if (static_cast<std::size_t>(m_end - m_at) < word.size() || std::string_view(m_at, word.size()) != word)
      throw Undecided{};
    m_at += word.size();
  }
  void array(int depth) {
    if (depth > kMaxDepth) throw Undecided{};
    expect('[');
    if (peek() == ']') {
      ++m_at;
      return;
    }
    for (;;) {
      skip(depth + 1);
      const char next = peek();
      ++m_at;
      if (next == ']') return;
      if (next != ',') throw Undecided{};
    }
  }

  const char* m_at;
  const char* const m_end;
};

// Each key of an object counts once: with a repeated key the general decoder keeps the last value.
void once(unsigned& seen, unsigned bit) {
  if (seen & bit) throw Undecided{};
  seen |= bit;
}

// Members of a wrong type make the general decoder throw, which means no record here.
struct Shape {
  bool wrong = false;
};

std::optional<CodexRecord::Window> readWindow(LineReader& in, int depth, Shape& shape) {
  if (in.null()) return std::nullopt;
  if (in.peek() != '{') {
    shape.wrong = true;
    in.skip(depth);
    return std::nullopt;
  }
  CodexRecord::Window window;
  unsigned seen = 0;
  const auto numberOr = [&](auto&& use) {
    const char next = in.peek();
    if (next == '-' || (next >= '0' && next <= '9')) {
      use(in.number());
    } else {
      shape.wrong = true;
      in.skip(depth + 1);
    }
  };
  in.object(depth, [&](std::string_view key) {
    if (key == "used_percent") {
      once(seen, 1);
      numberOr([&](const Number& n) { window.usedPercent = LineReader::toDouble(n); });
    } else if (key == "window_minutes") {
      once(seen, 2);
      if (in.null()) return;
      numberOr([&](const Number& n) {
        if (!n.integer) {
          shape.wrong = true;
          return;
        }
        const long long minutes = LineReader::toInteger(n);
        if (minutes < 1 || minutes > INT_MAX) shape.wrong = true;
        window.windowMinutes = static_cast<int>(std::clamp<long long>(minutes, 0, INT_MAX));
      });
    } else if (key == "resets_at") {
      once(seen, 4);
      if (in.null()) return;
      numberOr([&](const Number& n) { window.resetsAt = LineReader::toDouble(n); });
    } else {
      in.skip(depth + 1);
    }
  });
  if (!(seen & 1)) shape.wrong = true;  // the one required member
  if (!std::isfinite(window.usedPercent)) shape.wrong = true;
  if (window.resetsAt && (*window.resetsAt < kFirstSecondOfYear1 || *window.resetsAt > kLastSecondOfYear9999))
    shape.wrong = true;
  return window;
}

// An optional text member: absent or null is none, another type is wrong.
std::optional<std::string_view> optionalText(LineReader& in, int depth, Shape& shape) {
  if (in.null()) return std::nullopt;
  if (in.peek() == '"') return in.string();
  shape.wrong = true;
  in.skip(depth);
  return std::nullopt;
}

std::optional<CodexRecord> decode(std::string_view line) {
  LineReader in(line);
  if (in.peek() != '{') throw Undecided{};
  Shape shape;
  std::optional<std::string_view> type, timestamp, payloadType, limitID, planType;
  std::optional<CodexRecord::Window> primary, secondary;
  bool hasLimits = false;
  unsigned topSeen = 0, payloadSeen = 0, limitsSeen = 0;

  const auto readLimits = [&] {
    if (in.null()) return;
    if (in.peek() != '{') {
      shape.wrong = true;
      in.skip(3);
      return;
    }
    hasLimits = true;
    in.object(3, [&](std::string_view key) {
      if (key == "limit_id") {
        once(limitsSeen, 1);
        if (in.peek() == '"') {
          limitID = in.string();
        } else {
          in.skip(4);  // only a text names a bucket
        }
      } else if (key == "primary") {
        once(limitsSeen, 2);
        primary = readWindow(in, 4, shape);
      } else if (key == "secondary") {
        once(limitsSeen, 4);
        secondary = readWindow(in, 4, shape);
      } else if (key == "plan_type") {
        once(limitsSeen, 8);
        planType = optionalText(in, 4, shape);
      } else {
        in.skip(4);
      }
    });
  };
  const auto readPayload = [&] {
    if (in.peek() != '{') {
      shape.wrong = true;
      in.skip(2);
      return;
    }
    in.object(2, [&](std::string_view key) {
      if (key == "type") {
        once(payloadSeen, 1);
        payloadType = optionalText(in, 3, shape);
      } else if (key == "rate_limits") {
        once(payloadSeen, 2);
        readLimits();
      } else {
        in.skip(3);
      }
    });
    if (!payloadType) shape.wrong = true;  // required
  };
  in.object(1, [&](std::string_view key) {
    if (key == "type") {
      once(topSeen, 1);
      type = optionalText(in, 2, shape);
    } else if (key == "timestamp") {
      once(topSeen, 2);
      timestamp = optionalText(in, 2, shape);
    } else if (key == "payload") {
      once(topSeen, 4);
      readPayload();
    } else {
      in.skip(2);
    }
  });
  if (!in.atEnd()) throw Undecided{};

  if (!type || !(topSeen & 4)) shape.wrong = true;  // both required
  if (shape.wrong || *type != "event_msg" || *payloadType != "token_count" || !hasLimits) return std::nullopt;
  if (limitID && *limitID != "codex") return std::nullopt;
  if (!primary && !secondary) return std::nullopt;
  CodexRecord record;
  record.primary = primary;
  record.secondary = secondary;
  if (planType) record.planType = std::string(*planType);
  if (timestamp) record.recordedAt = ISO8601::parse(*timestamp);
  return record;
}

}  // namespace quick
}  // namespace

std::optional<CodexRecord> CodexRecord::fromLine(std::string_view line) {
  try {
    return quick::decode(line);
  } catch (const quick::Undecided&) {
  }
  try {
    return CodexRecord::decode(line);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}
