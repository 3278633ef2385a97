#include "wording/TrendPhrasing.h"

#include <algorithm>
#include <cmath>

#include "wording/KoreanTime.h"

namespace TrendPhrasing {
namespace {

using Tone = TrendPresentation::Tone;

const QString kLowSubtitle = QStringLiteral("기록이 적어 대략적인 예측이에요");
const QString kLowSpoken = QStringLiteral(" 기록이 적어 대략적인 예측이에요.");

double secondsBetween(TimePoint from, TimePoint to) { return (to - from).count(); }

QString approximation(bool low) { return low ? QStringLiteral("대략") : QStringLiteral("약"); }

// Rounds `minutes` to `step`, halves away from zero, never below one step.
double roundedMinutes(double minutes, double step) { return std::max(step, step * std::round(minutes / step)); }

// Whole number, halves away from zero; out-of-range values are held to a printable range.
long long wholeNumber(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<long long>(std::round(std::clamp(value, -1e15, 1e15)));
}
QString whole(double value) { return QString::number(wholeNumber(value)); }

// "3시간 후 초기화되면 다시 쓸 수 있어요", or with "곧" under a minute.
QString resetSentence(TimePoint reset, TimePoint now) {
  const double left = secondsBetween(now, reset);
  const QString when = left >= 60 ? KoreanTime::durationPhrase(left) + QStringLiteral(" 후") : QStringLiteral("곧");
  return when + QStringLiteral(" 초기화되면 다시 쓸 수 있어요");
}

TrendPresentation paused() {
  return {Tone::quiet,
          QStringLiteral("pause.circle"),
          QStringLiteral("최신 값을 받으면 다시 예측해요"),
          std::nullopt,
          QStringLiteral("최신 값이 아니라서 예측을 잠시 멈췄어요. 새로고침에 성공하면 다시 예측해요."),
          false};
}

TrendPresentation full(const UsageWindow& window, TimePoint now) {
  TrendPresentation result{
      Tone::danger, QStringLiteral("exclamationmark.octagon.fill"), QStringLiteral("한도에 도달했어요"),
      std::nullopt, QStringLiteral("한도에 도달했어요."),           false};
  if (window.resetsAt) {
    const QString sentence = resetSentence(*window.resetsAt, now);
    result.subtitle = sentence;
    result.spoken += QLatin1Char(' ') + sentence + QLatin1Char('.');
  }
  return result;
}

TrendPresentation collecting() {
  return {Tone::quiet,
          QStringLiteral("hourglass"),
          QStringLiteral("추이를 모으는 중이에요"),
          std::nullopt,
          QStringLiteral("추이를 모으는 중이에요. 기록이 더 쌓이면 예측을 보여 드려요."),
          false};
}

TrendPresentation onTrack(bool low) {
  const QString title =
      low ? QStringLiteral("초기화 전까지 여유 있어 보여요") : QStringLiteral("초기화 전까지 여유 있어요");
  QString spoken = QStringLiteral("지금 속도면 ") + title + QLatin1Char('.');
  if (low) spoken += kLowSpoken;
  return {Tone::calm, QStringLiteral("checkmark.circle"),
          title,      low ? std::optional<QString>(kLowSubtitle) : std::nullopt,
          spoken,     true};
}

TrendPresentation idle() {
  return {Tone::calm,
          QStringLiteral("moon.zzz"),
          QStringLiteral("최근 사용이 거의 없어요"),
          std::nullopt,
          QStringLiteral("최근 사용이 거의 없어요."),
          true};
}

TrendPresentation exhausts(TimePoint fullAt, std::optional<TimePoint> reset, bool low, TimePoint now) {
  const double untilFull = secondsBetween(now, fullAt);
  const QString title = untilFull >= 300 ? approximation(low) + QLatin1Char(' ') + projection(untilFull, low) +
                                               QStringLiteral(" 뒤 한도에 도달해요")
                                         : QStringLiteral("곧 한도에 도달해요");
  std::optional<QString> subtitle;
  QString tail;
  if (reset) {
    const double gap = secondsBetween(fullAt, *reset);
    if (gap >= 60) {
      const QString ahead = projection(gap, low);
      subtitle = QStringLiteral("초기화보다 ") + ahead + QStringLiteral(" 먼저");
      tail = QStringLiteral(" 초기화보다 ") + ahead + QStringLiteral(" 먼저 바닥나요.");
    } else {
      subtitle = QStringLiteral("초기화 직전에 바닥나요");
      tail = QStringLiteral(" 초기화 직전에 바닥나요.");
    }
  } else if (low) {
    subtitle = kLowSubtitle;
  }
  QString spoken = QStringLiteral("지금 속도면 ") + title + QLatin1Char('.') + tail;
  if (low) spoken += kLowSpoken;
  return {low ? Tone::caution : Tone::danger,
          QStringLiteral("exclamationmark.triangle.fill"),
          title,
          subtitle,
          spoken,
          true};
}

// "2.4", "2", and from 10 on whole numbers: "12".
QString rateNumber(double rate) {
  if (rate >= 10) return whole(rate);
  QString text = QString::asprintf("%.1f", rate);
  if (text.endsWith(QStringLiteral(".0"))) text.chop(2);
  return text;
}

}  // namespace

std::optional<TrendPresentation> presentation(const WindowTrend& trend, const UsageWindow& window, TimePoint now,
                                              bool isCurrent) {
  if (window.resetsAt && *window.resetsAt <= now) return std::nullopt;
  if (!isCurrent) return trend.samples.size() >= 2 ? std::optional(paused()) : std::nullopt;
  if (trend.verdict.kind == TrendVerdict::Kind::alreadyFull || window.usedPercent >= 99.99) return full(window, now);
  if (trend.confidence == TrendConfidence::insufficient || trend.verdict.kind == TrendVerdict::Kind::unknown) {
    return collecting();
  }
  const bool low = trend.confidence == TrendConfidence::low;
  switch (trend.verdict.kind) {
    case TrendVerdict::Kind::onTrack:
      return onTrack(low);
    case TrendVerdict::Kind::idle:
      return idle();
    case TrendVerdict::Kind::exhaustsBeforeReset:
      // A forecast without its full time has nothing to say yet.
      if (!trend.verdict.fullAt) return collecting();
      return exhausts(*trend.verdict.fullAt, trend.verdict.resetsAt ? trend.verdict.resetsAt : window.resetsAt, low,
                      now);
    case TrendVerdict::Kind::alreadyFull:
    case TrendVerdict::Kind::unknown:
      break;
  }
  return collecting();
}

QString projection(double seconds, bool rough) {
  const double minutes = std::max(seconds / 60.0, 1.0);
  double step = rough ? 360 : 60;
  if (minutes < 60) {
    step = rough ? 10 : 5;
  } else if (minutes < 1440) {
    step = rough ? 30 : 10;
  }
  return KoreanTime::durationPhrase(roundedMinutes(minutes, step) * 60);
}

QStringList detailLines(const WindowTrend& trend, const UsageWindow& window, TimePoint now) {
  QStringList lines;
  const bool low = trend.confidence == TrendConfidence::low;
  const bool forecasting = trend.confidence != TrendConfidence::insufficient && trend.ratePerHour.has_value();
  if (forecasting) {
    const double rate = *trend.ratePerHour;
    lines << (rate >= 0.05 ? QStringLiteral("시간당 ") + approximation(low) + QLatin1Char(' ') + rateNumber(rate) +
                                 QStringLiteral("%p씩 늘고 있어요")
                           : QStringLiteral("사용량이 거의 늘지 않고 있어요"));
  }
  if (trend.verdict.kind == TrendVerdict::Kind::onTrack && forecasting && window.resetsAt) {
    const double hoursLeft = std::max(0.0, secondsBetween(now, *window.resetsAt)) / 3600.0;
    const double projected = std::min(window.usedPercent + *trend.ratePerHour * hoursLeft, 99.0);
    lines << QStringLiteral("이 속도면 초기화 때 ") + approximation(low) + QLatin1Char(' ') + whole(projected) +
                 QStringLiteral("% 예상");
  } else if (trend.verdict.kind == TrendVerdict::Kind::exhaustsBeforeReset && trend.verdict.fullAt) {
    lines << QStringLiteral("한도 도달 예상 · ") + KoreanTime::absolute(*trend.verdict.fullAt, now) +
                 QStringLiteral(" 무렵");
  }
  if (window.resetsAt) lines << QStringLiteral("초기화 · ") + KoreanTime::absolute(*window.resetsAt, now);
  QString basis = QStringLiteral("이번 주기 기록 ") + QString::number(trend.samples.size()) + QStringLiteral("개 기준");
  if (low) basis += QStringLiteral(" · 기록이 적어 대략적이에요");
  lines << basis;
  return lines;
}

QString spoken(const std::vector<UsageSample>& samples, TimePoint) {
  if (samples.size() < 2) return QStringLiteral("최근 추이: 기록이 아직 부족해요");
  const double span = std::max(secondsBetween(samples.front().at, samples.back().at), 60.0);
  const long long first = wholeNumber(samples.front().usedPercent);
  const long long last = wholeNumber(samples.back().usedPercent);
  const QString head = QStringLiteral("최근 추이: ") + KoreanTime::durationPhrase(span) + QStringLiteral(" 동안 ") +
                       QString::number(first);
  if (first == last) return head + QStringLiteral("%에서 거의 변화 없어요");
  return head + QStringLiteral("%에서 ") + QString::number(last) + QStringLiteral("%로 ") +
         (last > first ? QStringLiteral("늘었어요") : QStringLiteral("줄었어요"));
}

QString axisStart(TimePoint firstSample, TimePoint now) {
  const double elapsed = secondsBetween(firstSample, now);
  if (elapsed < 60) return QStringLiteral("방금");
  const double minutes = elapsed / 60.0;
  const double step = minutes < 60 ? 5 : (minutes < 1440 ? 10 : 60);
  return KoreanTime::durationPhrase(roundedMinutes(minutes, step) * 60) + QStringLiteral(" 전");
}

}  // namespace TrendPhrasing
