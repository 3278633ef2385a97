#include "model/ISO8601.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

using namespace std::chrono;

class Cursor {
 public:
  explicit Cursor(std::string_view text) : m_text(text) {}

  // Exactly `count` decimal digits.
  std::optional<int> digits(int count) {
    if (m_pos + count > m_text.size()) return std::nullopt;
    int value = 0;
    for (int i = 0; i < count; ++i) {
      const char c = m_text[m_pos + i];
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    m_pos += count;
    return value;
  }

  bool literal(char expected) {
    if (m_pos >= m_text.size() || m_text[m_pos] != expected) return false;
    ++m_pos;
    return true;
  }

  bool atDigit() const { return m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9'; }
  bool atEnd() const { return m_pos == m_text.size(); }

  // The digits after a decimal point, as a fraction of one.
  std::optional<double> fraction() {
    if (!atDigit()) return std::nullopt;
    double value = 0;
    double scale = 0.1;
    while (atDigit()) {
      value += (m_text[m_pos] - '0') * scale;
      scale /= 10;
      ++m_pos;
    }
    return value;
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
};

}  // namespace

namespace ISO8601 {

std::optional<TimePoint> parse(std::string_view text) {
  Cursor in(text);
  const auto year = in.digits(4);
  if (!year || !in.literal('-')) return std::nullopt;
  const auto month = in.digits(2);
  if (!month || !in.literal('-')) return std::nullopt;
  const auto day = in.digits(2);
  if (!day || !in.literal('T')) return std::nullopt;
  const auto hour = in.digits(2);
  if (!hour || !in.literal(':')) return std::nullopt;
  const auto minute = in.digits(2);
  if (!minute || !in.literal(':')) return std::nullopt;
  const auto second = in.digits(2);
  if (!second) return std::nullopt;

  double fraction = 0;
  if (in.literal('.')) {
    const auto value = in.fraction();
    if (!value) return std::nullopt;
    fraction = *value;
  }

  int offsetMinutes = 0;
  if (!in.literal('Z')) {
    int sign = 0;
    if (in.literal('+')) {
      sign = 1;
    } else if (in.literal('-')) {
      sign = -1;
    } else {
      return std::nullopt;
    }
    const auto offsetHour = in.digits(2);
    if (!offsetHour || !in.literal(':')) return std::nullopt;
    const auto offsetMinute = in.digits(2);
    if (!offsetMinute || *offsetHour > 23 || *offsetMinute > 59) return std::nullopt;
    offsetMinutes = sign * (*offsetHour * 60 + *offsetMinute);
  }
  if (!in.atEnd()) return std::nullopt;

  const year_month_day date{std::chrono::year(*year), std::chrono::month(static_cast<unsigned>(*month)),
                            std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;

  const auto wholeSeconds = sys_days(date).time_since_epoch() + hours(*hour) + minutes(*minute) +
                            std::chrono::seconds(*second) - minutes(offsetMinutes);
  const double epoch = static_cast<double>(duration_cast<std::chrono::seconds>(wholeSeconds).count());
  return fromEpochSeconds(epoch + fraction);
}

std::string format(TimePoint time) {
  const double epoch = toEpochSeconds(time);
  if (!std::isfinite(epoch)) return {};
  const auto totalMillis = static_cast<long long>(std::llround(epoch * 1000.0));
  const sys_time<milliseconds> instant{milliseconds(totalMillis)};
  const auto dayStart = floor<days>(instant);
  const year_month_day date{dayStart};
  const hh_mm_ss clock{instant - dayStart};

  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return buffer;
}

}  // namespace ISO8601
