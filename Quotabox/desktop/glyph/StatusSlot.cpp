#include "glyph/StatusSlot.h"

#include <algorithm>
#include <cmath>

#include "wording/KoreanTime.h"

namespace {

QString spokenName(ServiceID service) {
  switch (service) {
    case ServiceID::claude:
      return QStringLiteral("Claude");
    case ServiceID::codex:
      return QStringLiteral("ChatGPT");
  }
  return {};
}

// Rounded like the displayed "43%", so that speech and picture agree.
long long wholePercent(double percent) {
  if (std::isnan(percent)) return 0;
  return std::llround(std::clamp(percent, -1e9, 1e9));
}

}  // namespace

QString StatusSlot::letter() const { return service == ServiceID::claude ? QStringLiteral("C") : QStringLiteral("G"); }

QString StatusSlot::valueText() const {
  switch (kind.tag) {
    case Kind::Case::loading:
      return QStringLiteral("\u2026");
    case Kind::Case::signedOut:
      return QStringLiteral("\u2013");
    case Kind::Case::error:
      return QStringLiteral("!");
    case Kind::Case::value:
      return KoreanTime::percent(kind.percent);
  }
  return {};
}

QString StatusSlot::spokenText() const {
  const QString name = spokenName(service);
  switch (kind.tag) {
    case Kind::Case::loading:
      return name + QStringLiteral(" 불러오는 중");
    case Kind::Case::signedOut:
      return name + QStringLiteral(" 로그인 필요");
    case Kind::Case::error:
      return name + QStringLiteral(" 불러오기 실패");
    case Kind::Case::value:
      break;
  }
  QString text = name + QLatin1Char(' ') + QString::number(wholePercent(kind.percent)) + QStringLiteral("퍼센트 사용");
  if (kind.level == UsageLevel::warning) text += QStringLiteral(", 주의");
  if (kind.level == UsageLevel::critical) text += QStringLiteral(", 한도 임박");
  if (kind.stale) text += QStringLiteral(", 오래된 데이터");
  return text;
}
