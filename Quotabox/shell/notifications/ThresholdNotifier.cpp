#include "notifications/ThresholdNotifier.h"

#include <QVariant>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

#include "settings/SettingsDomain.h"
#include "wording/KoreanTime.h"

namespace {
// Reset times closer than this belong to the same cycle: the endpoint's reset time drifts a
// little between refreshes.
constexpr double kSameCycleSeconds = 1800;

void writeToStandardError(const QByteArray& text) {
  std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
  std::fflush(stderr);
}

QString shortName(ServiceID service) {
  return service == ServiceID::claude ? QStringLiteral("Claude") : QStringLiteral("ChatGPT");
}
}  // namespace

ThresholdNotifier::ThresholdNotifier(std::shared_ptr<SettingsDomain> defaults, const QString& nameSpace,
                                     std::shared_ptr<NotificationCenter> center, TextSink errorSink, QObject* parent)
    : QObject(parent),
      m_defaults(std::move(defaults)),
      m_stateKey(QStringLiteral("notifiedLevels.") + nameSpace),
      m_center(std::move(center)),
      m_errorSink(errorSink ? std::move(errorSink) : TextSink(writeToStandardError)) {
  if (!m_center) m_authorization = Authorization::unsupported;
}

void ThresholdNotifier::setAuthorization(Authorization authorization) {
  if (authorization == m_authorization) return;
  m_authorization = authorization;
  emit authorizationChanged(authorization);
}

void ThresholdNotifier::refreshAuthorization() {
  if (!m_center) {
    setAuthorization(Authorization::unsupported);
    return;
  }
  switch (m_center->authorizationStatus()) {
    case NotificationCenter::Authorization::notDetermined:
      setAuthorization(Authorization::notDetermined);
      return;
    case NotificationCenter::Authorization::denied:
      setAuthorization(Authorization::denied);
      return;
    case NotificationCenter::Authorization::allowed:
      setAuthorization(Authorization::allowed);
      return;
    case NotificationCenter::Authorization::other:
      break;
  }
  setAuthorization(Authorization::unknown);
}

void ThresholdNotifier::requestAuthorization() {
  if (m_center) m_center->requestAuthorization();
}

void ThresholdNotifier::evaluate(const std::vector<ServiceUsage>& usages, Thresholds thresholds, bool enabled,
                                 TimePoint now) {
  if (!enabled) return;
  if (m_authorization != Authorization::allowed && m_authorization != Authorization::unsupported) return;

  State state = loadState();
  bool changed = false;
  for (const ServiceUsage& usage : usages) {
    if (!usage.status.isOk()) continue;
    for (const UsageWindow& window : usage.windows) {
      if (window.resetsAt && *window.resetsAt <= now) continue;  // its cycle is over
      const double cycle = window.resetsAt ? toEpochSeconds(*window.resetsAt) : 0;
      // A reset time that is not a number could never match a stored cycle and would notify on
      // every refresh.
      if (!std::isfinite(cycle)) continue;

      const std::string key = ServiceIDs::id(usage.service) + "." + window.id;
      const UsageLevel level = levelOf(window.usedPercent, thresholds);
      const auto stored = state.find(key);
      const bool sameCycle = stored != state.end() && std::abs(stored->second.cycle - cycle) < kSameCycleSeconds;

      bool notify = false;
      if (!sameCycle) {
        if (level == UsageLevel::normal) {
          state[key] = Entry{0, cycle};
          changed = true;
        } else {
          notify = true;
        }
      } else if (stored->second.level == static_cast<int>(UsageLevel::critical)) {
        notify = false;
      } else if (stored->second.level == static_cast<int>(UsageLevel::warning)) {
        notify = level == UsageLevel::critical;
      } else {
        notify = level != UsageLevel::normal;
      }

      if (notify && post(usage, window, level, now)) {
        state[key] = Entry{static_cast<int>(level), cycle};
        changed = true;
      }
    }
  }
  if (changed) saveState(state);
}

std::optional<NotificationContent> ThresholdNotifier::thresholdContent(ServiceID service, const UsageWindow& window,
                                                                       UsageLevel level, TimePoint now) {
  if (level == UsageLevel::normal) return std::nullopt;
  const QString pct = KoreanTime::percent(window.usedPercent);
  NotificationContent content;
  content.title =
      shortName(service) +
      (level == UsageLevel::critical ? QStringLiteral(" 한도 임박 · ") : QStringLiteral(" 사용량 주의 · ")) + pct +
      QStringLiteral(" 사용");
  content.body =
      QString::fromStdString(window.label) + QStringLiteral(" 한도의 ") + pct + QStringLiteral("를 사용했어요.");
  if (window.resetsAt) {
    const double remaining = toEpochSeconds(*window.resetsAt) - toEpochSeconds(now);
    content.body += u'\n';
    content.body +=
        remaining < 60 ? QStringLiteral("곧") : KoreanTime::durationPhrase(remaining) + QStringLiteral(" 후");
    content.body += QStringLiteral(" 초기화 · ") + KoreanTime::absolute(*window.resetsAt, now);
  }
  content.sound = level == UsageLevel::critical;
  content.urgency =
      level == UsageLevel::critical ? NotificationContent::Urgency::critical : NotificationContent::Urgency::normal;
  return content;
}

bool ThresholdNotifier::post(const ServiceUsage& usage, const UsageWindow& window, UsageLevel level, TimePoint now) {
  const auto content = thresholdContent(usage.service, window, level, now);
  if (!content) return false;
  return deliver(QStringLiteral("usage.") + QString::fromStdString(ServiceIDs::id(usage.service) + "." + window.id),
                 *content);
}

void ThresholdNotifier::sendTestNotification() {
  deliver(QStringLiteral("usage.test"), {QStringLiteral("Quotabox 알림 테스트"),
                                         QStringLiteral("사용량이 설정한 임계값을 넘으면 이렇게 알려 드려요."), false});
}

bool ThresholdNotifier::deliver(const QString& identifier, const NotificationContent& content) {
  if (m_center) {
    if (!m_center->canShowNow()) return false;
    m_center->add(identifier, content);
    return true;
  }
  m_errorSink((QStringLiteral("[Quotabox] 알림(개발 모드, 표시 생략): ") + content.title + QStringLiteral(" — ") +
               content.body + u'\n')
                  .toUtf8());
  return true;
}

QByteArray ThresholdNotifier::encodeState(const State& state) {
  nlohmann::json object = nlohmann::json::object();
  for (const auto& [key, entry] : state) {
    object[key] = {{"level", entry.level}, {"cycle", entry.cycle}};
  }
  const std::string text = object.dump();
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<ThresholdNotifier::State> ThresholdNotifier::decodeState(const QByteArray& bytes) {
  try {
    const auto json = nlohmann::json::parse(bytes.constData(), bytes.constData() + bytes.size());
    if (!json.is_object()) return std::nullopt;
    State state;
    for (const auto& [key, value] : json.items()) {
      if (!value.is_object()) return std::nullopt;
      const auto level = value.find("level");
      const auto cycle = value.find("cycle");
      if (level == value.end() || cycle == value.end() || !level->is_number_integer() || !cycle->is_number()) {
        return std::nullopt;
      }
      if (level->is_number_unsigned()
              ? level->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<int>::max())
              : level->get<std::int64_t>() < std::numeric_limits<int>::min()) {
        return std::nullopt;
      }
      state[key] = Entry{level->get<int>(), cycle->get<double>()};
    }
    return state;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

ThresholdNotifier::State ThresholdNotifier::loadState() const {
  const QVariant stored = m_defaults->value(m_stateKey);
  if (stored.typeId() != QMetaType::QByteArray) return {};
  return decodeState(stored.toByteArray()).value_or(State{});
}

void ThresholdNotifier::saveState(const State& state) {
  for (const auto& [key, entry] : state) {
    // JSON has no encoding for these; such a state cannot be stored.
    if (!std::isfinite(entry.cycle)) {
      m_defaults->remove(m_stateKey);
      return;
    }
  }
  m_defaults->setValue(m_stateKey, encodeState(state));
}
