#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "EventLoop.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "app/AppModel.h"
#include "login/ClosureLoginItem.h"
#include "statusbar/WaybarLine.h"
#include "statusbar/WaybarModule.h"

namespace {

StatusSlot valueSlot(ServiceID service, double percent, UsageLevel level, bool stale = false) {
  return {service, StatusSlot::Kind::value(percent, level, stale)};
}

TEST(WaybarLine, ClassFollowsTheGlyphsColoursAndPercentageTheHighestValue) {
  struct Row {
    const char* name;
    std::vector<StatusSlot> slots;
    const char* cssClass;
    int percentage;
  };
  const std::vector<Row> rows = {
      {"fresh normal values",
       {valueSlot(ServiceID::claude, 43.4, UsageLevel::normal), valueSlot(ServiceID::codex, 12, UsageLevel::normal)},
       "normal",
       43},
      {"critical wins over warning",
       {valueSlot(ServiceID::claude, 75, UsageLevel::warning), valueSlot(ServiceID::codex, 95.5, UsageLevel::critical)},
       "critical",
       96},
      {"warning wins over stale",
       {valueSlot(ServiceID::claude, 99, UsageLevel::critical, true),
        valueSlot(ServiceID::codex, 71, UsageLevel::warning)},
       "warning",
       99},
      {"an outdated critical value is only stale",
       {valueSlot(ServiceID::claude, 92, UsageLevel::critical, true),
        {ServiceID::codex, StatusSlot::Kind::signedOut()}},
       "stale",
       92},
      {"no values at all",
       {{ServiceID::claude, StatusSlot::Kind::loading()}, {ServiceID::codex, StatusSlot::Kind::error()}},
       "normal",
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const StatusGlyph glyph{row.slots, MenuBarStyle::both};
    EXPECT_EQ(WaybarLine::cssClass(glyph), QString::fromUtf8(row.cssClass));
    EXPECT_EQ(WaybarLine::percentage(glyph), row.percentage);
  }
}

TEST(WaybarLine, IsOneCompactJsonObjectPerLine) {
  const StatusGlyph glyph{
      {valueSlot(ServiceID::claude, 43, UsageLevel::normal), {ServiceID::codex, StatusSlot::Kind::signedOut()}},
      MenuBarStyle::icon};
  const QByteArray line = WaybarLine::format(glyph, QStringLiteral("Claude\n5시간 43%"));
  ASSERT_TRUE(line.endsWith('\n'));
  EXPECT_EQ(line.count('\n'), 1) << "the tooltip's line breaks must be escaped";
  const QJsonObject object = QJsonDocument::fromJson(line).object();
  EXPECT_EQ(object.value("text").toString(), QStringLiteral("C 43% \u00B7 G \u2013"));
  EXPECT_EQ(object.value("tooltip").toString(), QStringLiteral("Claude\n5시간 43%"));
  EXPECT_EQ(object.value("class").toString(), QStringLiteral("normal"));
  EXPECT_EQ(object.value("percentage").toInt(-1), 43);
}

class WaybarModuleTest : public SandboxedTest {
 protected:
  std::shared_ptr<SettingsDomain> defaults = SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.tests"));
  ManualClock clock;
  std::shared_ptr<FakeProvider> claude;
  std::vector<QByteArray> lines;

  std::unique_ptr<AppModel> makeModel(std::vector<double> percents) {
    const double now = *clock.seconds;
    std::vector<ServiceUsage> answers;
    for (double percent : percents) {
      answers.push_back(okUsage(ServiceID::claude,
                                {UsageWindow("five_hour", "5시간", percent, clock.now() + Seconds(3600), 300)}, now));
    }
    claude = std::make_shared<FakeProvider>(ServiceID::claude, answers);
    auto codex = std::make_shared<FakeProvider>(
        ServiceID::codex, std::vector<ServiceUsage>{failedUsage(ServiceID::codex, ProviderStatus::notSignedIn(), now)});
    AppModel::Parts parts;
    parts.store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{claude, codex},
                                               std::make_shared<HistoryStore>(std::nullopt), clock.clock());
    parts.notifier =
        std::make_unique<ThresholdNotifier>(defaults, QStringLiteral("mock"), nullptr, [](const QByteArray&) {});
    parts.loginItem = std::make_shared<ClosureLoginItem>([] { return false; }, [](bool) {});
    parts.clock = clock.clock();
    return std::make_unique<AppModel>(LaunchOptions{}, defaults, std::move(parts));
  }

  QJsonObject last() const { return QJsonDocument::fromJson(lines.back()).object(); }
};

TEST_F(WaybarModuleTest, WritesOnChangesAndAfterEveryRefreshButNotForUnchangedState) {
  auto model = makeModel({43, 43, 95});
  WaybarModule module(
      *model, [this](const QByteArray& line) { lines.push_back(line); }, clock.clock());
  module.emitLine();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(last().value("text").toString(), QStringLiteral("C \u2026 \u00B7 G \u2026"));

  awaitFuture(model->store().refresh());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(last().value("text").toString(), QStringLiteral("C 43% \u00B7 G \u2013"));
  const auto afterFirst = lines.size();

  // Same values again: the completed refresh still writes exactly one line.
  awaitFuture(model->store().refresh());
  EXPECT_EQ(lines.size(), afterFirst + 1);
  EXPECT_EQ(lines.back(), lines[afterFirst - 1]);

  awaitFuture(model->store().refresh());
  EXPECT_EQ(last().value("class").toString(), QStringLiteral("critical"));
  EXPECT_EQ(last().value("percentage").toInt(), 95);

  // A settings change that alters the text writes at once; one that does not, writes nothing.
  const auto beforeThresholds = lines.size();
  model->settings().setWarningThreshold(50);
  EXPECT_EQ(lines.size(), beforeThresholds);
  model->settings().setCriticalThreshold(96);
  EXPECT_EQ(lines.size(), beforeThresholds + 1);
  EXPECT_EQ(last().value("class").toString(), QStringLiteral("warning"));
}

}  // namespace
