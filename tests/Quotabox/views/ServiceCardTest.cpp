#include <gtest/gtest.h>

#include "ViewTestSupport.h"
#include "views/Appearance.h"
#include "views/Divider.h"
#include "views/MetricRow.h"
#include "views/PlanBadge.h"
#include "views/ServiceCard.h"
#include "views/TrendRow.h"

using namespace ViewTestSupport;

namespace {
const TimePoint kNow = fromEpochSeconds(1763532300);

ServiceCard::Input inputFor(ServiceUsage usage) {
  ServiceCard::Input input;
  input.service = usage.service;
  input.usage = std::move(usage);
  input.now = kNow;
  return input;
}

ServiceUsage okUsage(std::vector<UsageWindow> windows, std::vector<UsageMetric> metrics = {}) {
  ServiceUsage usage = ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::ok());
  usage.planName = "Plus";
  usage.windows = std::move(windows);
  usage.metrics = std::move(metrics);
  return usage;
}

class ServiceCardTest : public ::testing::Test {
 protected:
  void SetUp() override { Appearance::apply("light"); }
};
}  // namespace

TEST_F(ServiceCardTest, NoWindowsAndOnlyTheMetricsWorthShowing) {
  ServiceCard empty(inputFor(okUsage({}, {{"a", "크레딧", "—"}})));
  EXPECT_TRUE(texts(&empty).contains("표시할 사용량 한도 정보가 없어요."));
  EXPECT_TRUE(empty.findChildren<MetricRow*>().isEmpty());
  EXPECT_TRUE(empty.findChildren<Divider*>().isEmpty());
  EXPECT_EQ(empty.findChildren<PlanBadge*>().size(), 1);

  ServiceCard withMetric(inputFor(okUsage({UsageWindow("codex_primary", "주간", 7, kNow + Seconds(3600))},
                                          {{"a", "크레딧", "—"}, {"credits", "크레딧", "12.5"}})));
  ASSERT_EQ(withMetric.findChildren<MetricRow*>().size(), 1);
  EXPECT_EQ(withMetric.findChildren<MetricRow*>().front()->accessibleDescription(), "12.5");
  EXPECT_EQ(withMetric.findChildren<Divider*>().size(), 1);
  EXPECT_EQ(withMetric.accessibleName(), "ChatGPT (Codex)");
}

TEST_F(ServiceCardTest, TrendInputIsCurrentOnlyForFreshSuccessfulValues) {
  std::string toggledID;
  TrendContext context{
      [](const std::string& id) {
        WindowTrend trend = WindowTrend::insufficient(ServiceID::codex, id);
        trend.samples = {{ServiceID::codex, id, 5, kNow - Seconds(3600)}, {ServiceID::codex, id, 7, kNow}};
        trend.ratePerHour = 2;
        trend.verdict = TrendVerdict::onTrack(std::nullopt);
        trend.confidence = TrendConfidence::ok;
        return trend;
      },
      [](const std::string&) { return false; }, [&](const std::string& id) { toggledID = id; }};
  const auto rowTitle = [](const ServiceCard& card) {
    const auto rows = card.findChildren<TrendRow*>();
    return rows.size() == 1 ? rows.front()->accessibleDescription() : QString("rows: %1").arg(rows.size());
  };
  const std::vector<UsageWindow> windows{UsageWindow("codex_primary", "주간", 7, kNow + Seconds(3600))};

  auto fresh = inputFor(okUsage(windows));
  fresh.trends = context;
  ServiceCard current(fresh);
  EXPECT_TRUE(rowTitle(current).startsWith("지금 속도면 초기화 전까지 여유 있어요."))
      << rowTitle(current).toStdString();
  current.findChildren<TrendRow*>().front()->click();
  EXPECT_EQ(toggledID, "codex_primary");

  auto retained = inputFor(okUsage(windows));
  retained.usage->status = ProviderStatus::unavailable("네트워크에 연결할 수 없어요");
  retained.trends = context;
  ServiceCard failed(retained);
  EXPECT_TRUE(rowTitle(failed).startsWith("최신 값이 아니라서")) << rowTitle(failed).toStdString();

  auto old = inputFor(okUsage(windows));
  old.usage->fetchedAt = kNow - Seconds(901);
  old.trends = context;
  ServiceCard outdated(old);
  EXPECT_TRUE(rowTitle(outdated).startsWith("최신 값이 아니라서"));
}
