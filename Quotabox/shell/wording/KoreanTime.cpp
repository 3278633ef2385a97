#include "wording/KoreanTime.h"

#include <unicode/calendar.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <tuple>

namespace {

// Far beyond any real duration, small enough to convert to an integer safely.
constexpr double kLargestMagnitude = 1e15;

long long toWhole(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<long long>(std::clamp(value, -kLargestMagnitude, kLargestMagnitude));
}

QString toQString(const icu::UnicodeString& text) {
  return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// The ko_KR formatters, created once. ICU formatters and calendars are not safe for concurrent
// use, so every use holds the mutex.
struct Formatters {
  std::mutex mutex;
  icu::Locale locale{"ko_KR"};
  std::unique_ptr<icu::SimpleDateFormat> time;
  std::unique_ptr<icu::SimpleDateFormat> dayTime;
  std::unique_ptr<icu::Calendar> calendar;
  std::unique_ptr<icu::TimeZone> pinnedZone;

  Formatters() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    time = makeFormatter(generator.get(), u"ahmm", u"a h:mm");
    dayTime = makeFormatter(generator.get(), u"MMMdEEEahmm", u"MMM d일 (EEE) a h:mm");
    status = U_ZERO_ERROR;
    calendar.reset(icu::Calendar::createInstance(locale, status));
    if (U_FAILURE(status)) calendar.reset();
  }

  // Without ICU's locale data the usual ko_KR rendering of the skeleton stands in.
  std::unique_ptr<icu::SimpleDateFormat> makeFormatter(icu::DateTimePatternGenerator* generator,
                                                       const char16_t* skeleton, const char16_t* fallback) {
    icu::UnicodeString pattern(fallback);
    if (generator) {
      UErrorCode status = U_ZERO_ERROR;
      icu::UnicodeString best = generator->getBestPattern(icu::UnicodeString(skeleton), status);
      if (U_SUCCESS(status) && !best.isEmpty()) pattern = best;
    }
    UErrorCode status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status)) return nullptr;
    return formatter;
  }

  // Brings every formatter onto the current zone; called with the mutex held.
  void useCurrentZone() {
    std::unique_ptr<icu::TimeZone> zone(pinnedZone ? pinnedZone->clone() : icu::TimeZone::createDefault());
    if (!zone) return;
    if (calendar && calendar->getTimeZone() != *zone) calendar->setTimeZone(*zone);
    for (auto* formatter : {time.get(), dayTime.get()}) {
      if (formatter && formatter->getTimeZone() != *zone) formatter->setTimeZone(*zone);
    }
  }

  QString format(icu::SimpleDateFormat* formatter, TimePoint date) {
    if (!formatter) return {};
    icu::UnicodeString text;
    formatter->format(static_cast<UDate>(toEpochSeconds(date) * 1000.0), text);
    return toQString(text);
  }

  // Calendar day of `date` shifted by `dayOffset` days, in the current zone.
  std::tuple<int, int, int> day(TimePoint date, int dayOffset) {
    UErrorCode status = U_ZERO_ERROR;
    calendar->setTime(static_cast<UDate>(toEpochSeconds(date) * 1000.0), status);
    if (dayOffset != 0) calendar->add(UCAL_DATE, dayOffset, status);
    return {calendar->get(UCAL_EXTENDED_YEAR, status), calendar->get(UCAL_MONTH, status),
            calendar->get(UCAL_DATE, status)};
  }
};

Formatters& formatters() {
  static Formatters shared;
  return shared;
}

}  // namespace

namespace KoreanTime {

QString percent(double value) { return QString::number(toWhole(std::round(value))) + u'%'; }

QString durationPhrase(double seconds) {
  // A duration that has already run out reads like one under a minute.
  const long long total = std::max(0LL, toWhole(std::floor(seconds / 60.0)));
  const long long days = total / 1440;
  const long long hours = (total - days * 1440) / 60;
  const long long minutes = total % 60;
  if (total < 1440) {
    if (hours == 0) return QString::number(std::max(minutes, 1LL)) + QStringLiteral("분");
    if (minutes == 0) return QString::number(hours) + QStringLiteral("시간");
    return QString::number(hours) + QStringLiteral("시간 ") + QString::number(minutes) + QStringLiteral("분");
  }
  if (hours == 0) return QString::number(days) + QStringLiteral("일");
  return QString::number(days) + QStringLiteral("일 ") + QString::number(hours) + QStringLiteral("시간");
}

QString intervalLabel(double seconds) {
  if (seconds < 60) return QString::number(toWhole(seconds)) + QStringLiteral("초");
  return QString::number(toWhole(seconds / 60.0)) + QStringLiteral("분");
}

QString agoPhrase(TimePoint date, TimePoint now) {
  const double elapsed = (now - date).count();
  if (elapsed < 60) return QStringLiteral("방금");
  if (elapsed < 3600) return QString::number(toWhole(elapsed / 60.0)) + QStringLiteral("분 전");
  if (elapsed < 21600) return QString::number(toWhole(elapsed / 3600.0)) + QStringLiteral("시간 전");
  return absolute(date, now);
}

QString absolute(TimePoint date, TimePoint now) {
  Formatters& shared = formatters();
  std::lock_guard lock(shared.mutex);
  shared.useCurrentZone();
  if (shared.calendar) {
    const auto dateDay = shared.day(date, 0);
    const char16_t* prefix = nullptr;
    if (dateDay == shared.day(now, 0)) {
      prefix = u"오늘 ";
    } else if (dateDay == shared.day(now, 1)) {
      prefix = u"내일 ";
    } else if (dateDay == shared.day(now, -1)) {
      prefix = u"어제 ";
    }
    if (prefix) return QString::fromUtf16(prefix) + shared.format(shared.time.get(), date);
  }
  return shared.format(shared.dayTime.get(), date);
}

void setTimeZoneForTesting(const char* olsonID) {
  Formatters& shared = formatters();
  std::lock_guard lock(shared.mutex);
  shared.pinnedZone.reset(olsonID ? icu::TimeZone::createTimeZone(olsonID) : nullptr);
}

}  // namespace KoreanTime
