#include "wording/UsageWording.h"

#include "wording/KoreanTime.h"

namespace UsageWording {

bool isResetPassed(const UsageWindow& window, TimePoint now) { return window.resetsAt && *window.resetsAt <= now; }

QString resetLine(const UsageWindow& window, TimePoint now) {
  if (!window.resetsAt) return {};
  const TimePoint reset = *window.resetsAt;
  if (reset <= now) return KoreanTime::absolute(reset, now) + QStringLiteral("에 초기화됨 · 새로고침 필요");
  const double left = toEpochSeconds(reset) - toEpochSeconds(now);
  const QString when = left < 60 ? QStringLiteral("곧") : KoreanTime::durationPhrase(left) + QStringLiteral(" 후");
  return when + QStringLiteral(" 초기화 · ") + KoreanTime::absolute(reset, now);
}

QString remainingText(const UsageWindow& window, TimePoint now) {
  if (isResetPassed(window, now)) return QStringLiteral("이전 주기 값");
  return KoreanTime::percent(100.0 - window.usedPercent) + QStringLiteral(" 남음");
}

QString levelWord(UsageLevel level) {
  switch (level) {
    case UsageLevel::warning:
      return QStringLiteral("주의");
    case UsageLevel::critical:
      return QStringLiteral("한도 임박");
    case UsageLevel::normal:
      break;
  }
  return {};
}

QString failureDetail(const std::string& message, double refreshInterval) {
  QString text = QString::fromStdString(message).trimmed();
  static const QString endings = QStringLiteral(".!?。");
  if (!text.isEmpty() && !endings.contains(text.back())) text += QLatin1Char('.');
  return text + QLatin1Char('\n') + KoreanTime::intervalLabel(refreshInterval) +
         QStringLiteral("마다 자동으로 다시 시도해요.");
}

QString signInTitle() { return QStringLiteral("로그인되어 있지 않아요"); }

QString signInDetail(ServiceID service, Surface surface) {
  const QString signIn = service == ServiceID::claude
                             ? QStringLiteral("터미널에서 `claude`를 실행해 로그인한 뒤 ")
                             : QStringLiteral("터미널에서 `codex`를 실행해 ChatGPT 계정으로 로그인한 뒤 ");
  switch (surface) {
    case Surface::report:
      return signIn + QStringLiteral("이 명령을 다시 실행해 주세요.");
    case Surface::tooltip:
      return signIn + QStringLiteral("모듈을 눌러 새로고침해 주세요.");
    case Surface::popover:
      break;
  }
  return signIn + QStringLiteral("새로고침을 눌러 주세요.");
}

QString failureTitle() { return QStringLiteral("사용량을 불러오지 못했어요"); }
QString retainedNotice() { return QStringLiteral("갱신 실패 · 마지막 성공값이에요"); }
QString staleTitle() { return QStringLiteral("오래된 데이터예요"); }

QString staleDetail(TimePoint fetchedAt, TimePoint now) {
  return KoreanTime::agoPhrase(fetchedAt, now) +
         QStringLiteral("에 마지막으로 확인한 값이에요. 지금 값과 다를 수 있어요.");
}

QString lastRefreshText(std::optional<TimePoint> lastRefresh, bool isRefreshing, TimePoint now) {
  if (!lastRefresh) return isRefreshing ? QStringLiteral("불러오는 중…") : QStringLiteral("아직 갱신 전");
  QString absolute = KoreanTime::absolute(*lastRefresh, now);
  const QString ago = KoreanTime::agoPhrase(*lastRefresh, now);
  if (absolute.startsWith(QStringLiteral("오늘 "))) absolute.remove(0, 3);
  if (ago != absolute) return QStringLiteral("마지막 갱신 ") + absolute + QStringLiteral(" · ") + ago;
  return QStringLiteral("마지막 갱신 ") + absolute;
}

std::vector<UsageMetric> visibleMetrics(const ServiceUsage& usage) {
  std::vector<UsageMetric> visible;
  for (const auto& metric : usage.metrics) {
    if (metric.value.empty() || metric.value == "—" || metric.value == "-") continue;
    visible.push_back(metric);
  }
  return visible;
}

bool isOutdated(const ServiceUsage& usage, TimePoint now, double refreshInterval) {
  if (!usage.status.isOk() && usage.windows.empty()) return false;
  return !isFresh(usage.fetchedAt, now, refreshInterval);
}

}  // namespace UsageWording
