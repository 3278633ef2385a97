#include <gtest/gtest.h>

#include <QStringList>
#include <nlohmann/json.hpp>

#include "SeoulTime.h"
#include "TestSandbox.h"
#include "report/TerminalReport.h"

namespace {
const TimePoint kNow = kSeoulAfternoon;

ServiceUsage claudeHigh() {
  ServiceUsage usage = ServiceUsage::failure(ServiceID::claude, kNow, ProviderStatus::ok());
  usage.planName = "Max 5x";
  usage.windows = {UsageWindow("five_hour", "5시간", 88, kNow + Seconds(8040), 300),
                   UsageWindow("seven_day", "주간", 91, kNow + Seconds(259200), 10080),
                   UsageWindow("seven_day_opus", "주간 (Opus)", 9, kNow + Seconds(259200), 10080)};
  return usage;
}

TerminalReport::Input inputWith(std::optional<ServiceUsage> claude, std::optional<ServiceUsage> codex) {
  TerminalReport::Input input;
  input.usages = {{ServiceID::claude, std::move(claude)}, {ServiceID::codex, std::move(codex)}};
  input.lastRefresh = kNow;
  input.now = kNow;
  return input;
}

// Five-hour forecast: full at 16:25, 55 minutes before its reset; the others are still collecting.
WindowTrend trendOf(ServiceID service, const std::string& windowID) {
  WindowTrend trend = WindowTrend::insufficient(service, windowID);
  trend.samples.resize(2);
  if (windowID == "five_hour") {
    trend.ratePerHour = 9;
    trend.verdict = TrendVerdict::exhaustsBeforeReset(kNow + Seconds(4800), kNow + Seconds(8040));
    trend.confidence = TrendConfidence::ok;
    trend.samples.resize(36);
  }
  return trend;
}

using TerminalReportTest = SeoulTimeTest;
}  // namespace

TEST_F(TerminalReportTest, TextReadsLikeThePopover) {
  auto codex = ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::notSignedIn());
  codex.planName = "plus";  // never shown for a failed service
  auto input = inputWith(claudeHigh(), codex);
  input.trend = trendOf;
  // %1: the five-hour reset, %2: the weekly one, %3: the refresh time.
  const QString expected = QString::fromUtf8(fixture("report-claude-high.txt"));
  EXPECT_EQ(TerminalReport::text(input),
            expected.arg(KoreanTime::absolute(kNow + Seconds(8040), kNow),
                         KoreanTime::absolute(kNow + Seconds(259200), kNow), KoreanTime::absolute(kNow, kNow).mid(3)));

  // Outdated values pause the forecast; with trends hidden there is no row at all.
  input.usages[0].second->fetchedAt = kNow - Seconds(901);
  EXPECT_EQ(TerminalReport::text(input).count("    최신 값을 받으면 다시 예측해요\n"), 3);
  input.showTrends = false;
  EXPECT_FALSE(TerminalReport::text(input).contains("예측해요"));
}

TEST_F(TerminalReportTest, BothReportsShowRetainedOutdatedDemonstrationValues) {
  ServiceUsage retained = claudeHigh();
  retained.status = ProviderStatus::unavailable("Claude 사용량에 연결할 수 없어요. 네트워크를 확인하고 새로고침하세요");
  retained.fetchedAt = kNow - Seconds(3 * 3600);
  retained.windows[0].resetsAt = kNow - Seconds(2400);
  retained.metrics = {{"stale", "이전 기록", "갱신 실패 · 마지막 성공값이에요"}};
  auto input = inputWith(retained, std::nullopt);
  input.scenario = "retained";
  const QString text = TerminalReport::text(input);

  // Demonstration data never passes for the user's own; the passed window shows its previous-cycle value and no level.
  EXPECT_TRUE(text.startsWith("예시 데이터(retained)로 만든 보고서예요. 실제 사용량이 아니에요.\n구독 사용량\n"));
  for (const char* part :
       {"  사용량을 불러오지 못했어요\n  Claude 사용량에 연결할 수 없어요. 네트워크를 확인하고 새로고침하세요.\n"
        "  2분마다 자동으로 다시 시도해요.",
        "  갱신 실패 · 마지막 성공값이에요\n", "  오래된 데이터예요: 3시간 전에 마지막으로 확인한 값이에요.",
        "  5시간  88% 사용 · 이전 주기 값\n    ", "ChatGPT (Codex)\n  사용량을 불러오는 중…"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;
  }

  const auto report = nlohmann::json::parse(TerminalReport::json(input).toStdString());
  EXPECT_EQ(report["source"], "mock:retained");
  EXPECT_EQ(report["services"][0]["stale"], true);
  EXPECT_EQ(report["services"][0]["windows"].size(), 3u);
  EXPECT_EQ(report["services"][1]["status"], "loading");
}

TEST_F(TerminalReportTest, JsonCarriesEveryServiceWithWindowsLevelsAndTrends) {
  auto input = inputWith(
      claudeHigh(),
      ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::unavailable("Codex 사용량 기록이 없어요.")));
  input.trend = trendOf;
  // Times in UTC with milliseconds; a window without a forecast has a null rate; no plan for a failure.
  const auto report = nlohmann::json::parse(TerminalReport::json(input).toStdString());
  EXPECT_EQ(report, nlohmann::json::parse(fixture("report-claude-high.json").toStdString())) << report.dump(2);
}
