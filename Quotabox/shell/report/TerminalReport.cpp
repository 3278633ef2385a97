#include "report/TerminalReport.h"

#include <QStringList>
#include <cmath>
#include <nlohmann/json.hpp>

#include "model/ISO8601.h"
#include "wording/KoreanTime.h"
#include "wording/TrendPhrasing.h"
#include "wording/UsageWording.h"

namespace TerminalReport {
namespace {

// The trend row's sentence under a window, worded as in the popover.
void appendTrend(QStringList& lines, const ServiceUsage& usage, const UsageWindow& window, const Input& input) {
  if (!input.trend || !input.showTrends) return;
  const bool isCurrent = usage.status.isOk() && !UsageWording::isOutdated(usage, input.now, input.refreshInterval);
  const auto presentation =
      TrendPhrasing::presentation(input.trend(usage.service, window.id), window, input.now, isCurrent);
  if (!presentation) return;
  QString line = QStringLiteral("    ") + presentation->title;
  if (presentation->subtitle) line += QStringLiteral(" · ") + *presentation->subtitle;
  lines << line;
}

void appendWindows(QStringList& lines, const ServiceUsage& usage, const Input& input) {
  for (const auto& window : usage.windows) {
    const UsageLevel level = levelOf(window.usedPercent, input.thresholds);
    const bool passed = UsageWording::isResetPassed(window, input.now);
    QString line = QStringLiteral("  ") + QString::fromStdString(window.label) + QStringLiteral("  ") +
                   KoreanTime::percent(window.usedPercent) + QStringLiteral(" 사용 · ") +
                   UsageWording::remainingText(window, input.now);
    if (!passed && level != UsageLevel::normal) line += QStringLiteral("  [") + UsageWording::levelWord(level) + ']';
    lines << line;
    const QString reset = UsageWording::resetLine(window, input.now);
    if (!reset.isEmpty()) lines << QStringLiteral("    ") + reset;
    appendTrend(lines, usage, window, input);
  }
}

void appendService(QStringList& lines, ServiceID service, const std::optional<ServiceUsage>& usage,
                   const Input& input) {
  QString title = QString::fromStdString(ServiceIDs::displayName(service));
  if (usage && usage->status.isOk() && usage->planName) {
    title += QStringLiteral(" · ") + QString::fromStdString(*usage->planName) + QStringLiteral(" 플랜");
  }
  lines << title;
  if (!usage) {
    lines << QStringLiteral("  사용량을 불러오는 중…");
    return;
  }
  const auto indent = [](const QString& text) {
    return QStringLiteral("  ") + QString(text).replace('\n', QStringLiteral("\n  "));
  };
  switch (usage->status.kind) {
    case ProviderStatus::Kind::notSignedIn:
      lines << indent(UsageWording::signInTitle()) << indent(UsageWording::signInDetail(service, input.surface));
      break;
    case ProviderStatus::Kind::unavailable:
      lines << indent(UsageWording::failureTitle())
            << indent(UsageWording::failureDetail(usage->status.message, input.refreshInterval));
      break;
    case ProviderStatus::Kind::ok:
      break;
  }
  const bool showValues = usage->status.isOk() || !usage->windows.empty();
  if (!showValues) return;
  if (!usage->status.isOk()) lines << indent(UsageWording::retainedNotice());
  if (UsageWording::isOutdated(*usage, input.now, input.refreshInterval)) {
    lines << indent(UsageWording::staleTitle() + QStringLiteral(": ") +
                    UsageWording::staleDetail(usage->fetchedAt, input.now));
  }
  if (usage->windows.empty()) {
    lines << indent(QStringLiteral("표시할 사용량 한도 정보가 없어요."));
  } else {
    appendWindows(lines, *usage, input);
  }
  for (const auto& metric : UsageWording::visibleMetrics(*usage)) {
    lines << indent(QString::fromStdString(metric.label) + QStringLiteral(": ") + QString::fromStdString(metric.value));
  }
}

nlohmann::json timeOrNull(const std::optional<TimePoint>& t) {
  return t ? nlohmann::json(ISO8601::format(*t)) : nlohmann::json(nullptr);
}

const char* statusName(ProviderStatus::Kind kind) {
  switch (kind) {
    case ProviderStatus::Kind::ok:
      return "ok";
    case ProviderStatus::Kind::notSignedIn:
      return "notSignedIn";
    case ProviderStatus::Kind::unavailable:
      return "unavailable";
  }
  return "unavailable";
}

const char* levelName(UsageLevel level) {
  switch (level) {
    case UsageLevel::normal:
      return "normal";
    case UsageLevel::warning:
      return "warning";
    case UsageLevel::critical:
      return "critical";
  }
  return "normal";
}

const char* verdictName(TrendVerdict::Kind kind) {
  switch (kind) {
    case TrendVerdict::Kind::onTrack:
      return "onTrack";
    case TrendVerdict::Kind::exhaustsBeforeReset:
      return "exhaustsBeforeReset";
    case TrendVerdict::Kind::unknown:
      return "unknown";
    case TrendVerdict::Kind::idle:
      return "idle";
    case TrendVerdict::Kind::alreadyFull:
      return "alreadyFull";
  }
  return "unknown";
}

nlohmann::json trendJson(const WindowTrend& trend) {
  nlohmann::json json;
  json["verdict"] = verdictName(trend.verdict.kind);
  json["ratePerHour"] = trend.ratePerHour ? nlohmann::json(*trend.ratePerHour) : nlohmann::json(nullptr);
  json["fullAt"] = timeOrNull(trend.verdict.fullAt);
  json["resetsAt"] = timeOrNull(trend.verdict.resetsAt);
  json["confidence"] = TrendConfidences::raw(trend.confidence);
  json["sampleCount"] = trend.samples.size();
  return json;
}

nlohmann::json serviceJson(ServiceID service, const std::optional<ServiceUsage>& usage, const Input& input) {
  nlohmann::json json;
  json["service"] = ServiceIDs::id(service);
  json["displayName"] = ServiceIDs::displayName(service);
  if (!usage) {
    json["status"] = "loading";
    json["planName"] = nullptr;
    json["fetchedAt"] = nullptr;
    json["stale"] = false;
    json["windows"] = nlohmann::json::array();
    json["metrics"] = nlohmann::json::array();
    return json;
  }
  json["status"] = statusName(usage->status.kind);
  if (usage->status.kind == ProviderStatus::Kind::unavailable) json["message"] = usage->status.message;
  json["planName"] = usage->planName ? nlohmann::json(*usage->planName) : nlohmann::json(nullptr);
  json["fetchedAt"] = ISO8601::format(usage->fetchedAt);
  json["stale"] = UsageWording::isOutdated(*usage, input.now, input.refreshInterval);
  nlohmann::json windows = nlohmann::json::array();
  for (const auto& window : usage->windows) {
    nlohmann::json w;
    w["id"] = window.id;
    w["label"] = window.label;
    w["usedPercent"] = window.usedPercent;
    w["resetsAt"] = timeOrNull(window.resetsAt);
    w["windowMinutes"] = window.windowMinutes ? nlohmann::json(*window.windowMinutes) : nlohmann::json(nullptr);
    w["level"] = levelName(levelOf(window.usedPercent, input.thresholds));
    if (input.trend) w["trend"] = trendJson(input.trend(service, window.id));
    windows.push_back(std::move(w));
  }
  json["windows"] = std::move(windows);
  json["metrics"] = usage->metrics;
  return json;
}

}  // namespace

std::string sourceName(const Input& input) { return input.scenario ? "mock:" + *input.scenario : "live"; }

QString text(const Input& input) {
  QStringList lines;
  if (input.scenario) {
    lines << QStringLiteral("예시 데이터(%1)로 만든 보고서예요. 실제 사용량이 아니에요.")
                 .arg(QString::fromStdString(*input.scenario));
  }
  lines << QStringLiteral("구독 사용량") << QString();
  for (const auto& [service, usage] : input.usages) {
    appendService(lines, service, usage, input);
    lines << QString();
  }
  lines << UsageWording::lastRefreshText(input.lastRefresh, input.isRefreshing, input.now);
  return lines.join('\n') + '\n';
}

QByteArray json(const Input& input) {
  nlohmann::json report;
  report["generatedAt"] = ISO8601::format(input.now);
  report["source"] = sourceName(input);
  report["services"] = nlohmann::json::array();
  for (const auto& [service, usage] : input.usages) report["services"].push_back(serviceJson(service, usage, input));
  return QByteArray::fromStdString(report.dump(2)) + '\n';
}

}  // namespace TerminalReport
