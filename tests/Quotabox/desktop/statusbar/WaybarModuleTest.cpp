#include <QJsonDocument>
#include <QJsonObject>

#include "TrayTestModel.h"
#include "statusbar/WaybarLine.h"
#include "statusbar/WaybarModule.h"

namespace {

using Kind = StatusSlot::Kind;
constexpr auto normal = UsageLevel::normal, warning = UsageLevel::warning, critical = UsageLevel::critical;

TEST(WaybarLine, ClassFollowsTheGlyphsColoursAndPercentageTheHighestValue) {
  const std::tuple<const char*, Kind, Kind, const char*, int> rows[] = {
      {"fresh normal values", Kind::value(43.4, normal, false), Kind::value(12, normal, false), "normal", 43},
      {"critical wins over warning", Kind::value(75, warning, false), Kind::value(95.5, critical, false), "critical",
       96},
      {"warning wins over stale", Kind::value(99, critical, true), Kind::value(71, warning, false), "warning", 99},
      {"an outdated critical value is only stale", Kind::value(92, critical, true), Kind::signedOut(), "stale", 92},
      {"no values at all", Kind::loading(), Kind::error(), "normal", 0},
  };
  for (const auto& [name, claude, codex, cssClass, percentage] : rows) {
    const StatusGlyph glyph{{{ServiceID::claude, claude}, {ServiceID::codex, codex}}, MenuBarStyle::both};
    EXPECT_EQ(std::pair(WaybarLine::cssClass(glyph), WaybarLine::percentage(glyph)),
              std::pair(QString::fromLatin1(cssClass), percentage))
        << name;
  }
}

TEST(WaybarLine, IsOneCompactJsonObjectPerLine) {
  const StatusGlyph glyph{{{ServiceID::claude, Kind::value(43, normal, false)}, {ServiceID::codex, Kind::signedOut()}},
                          MenuBarStyle::icon};
  const QByteArray line = WaybarLine::format(glyph, QStringLiteral("Claude\n5시간 43%"));
  ASSERT_TRUE(line.endsWith('\n'));
  EXPECT_EQ(line.count('\n'), 1) << "the tooltip's line breaks must be escaped";
  const QJsonObject object = QJsonDocument::fromJson(line).object();
  EXPECT_EQ(object.value("tooltip").toString(), QStringLiteral("Claude\n5시간 43%"));
  EXPECT_EQ(object.value("percentage").toInt(-1), 43);
}

class WaybarModuleTest : public SandboxedTest {
 protected:
  TrayTestModel data{43};
  std::vector<QByteArray> lines;
  QString last(const char* key) const { return QJsonDocument::fromJson(lines.back()).object().value(key).toString(); }
};

TEST_F(WaybarModuleTest, WritesOnChangesAndAfterEveryRefreshButNotForUnchangedState) {
  AppModel& model = *data.model;
  std::vector<EngineState> states;
  WaybarModule module(
      model,
      [&](const EngineState& state) {
        states.push_back(state);
        lines.push_back(WaybarLine::format(state));
      },
      data.clock.clock());
  module.emitLine();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(last("text"), QStringLiteral("C \u2026 \u00B7 G \u2026"));
  // The placeholder before the first refresh is marked, so followers keep the values they have.
  EXPECT_FALSE(states.back().ready);

  data.refreshOnce();
  EXPECT_EQ(last("text"), QStringLiteral("C 43% \u00B7 G \u2013"));
  EXPECT_TRUE(states.back().ready);
  // The tooltip has no button to point at.
  EXPECT_TRUE(states.back().report.contains(QStringLiteral("로그인한 뒤 모듈을 눌러 새로고침해 주세요.")));
  EXPECT_FALSE(states.back().report.contains(QStringLiteral("새로고침을 눌러")));
  // Same values again: the completed refresh still writes exactly one line.
  const auto written = lines.size();
  data.refreshOnce();
  ASSERT_EQ(lines.size(), written + 1);
  EXPECT_EQ(lines.back(), lines[written - 1]);

  // A settings change that alters the line writes at once; one that does not, writes nothing.
  model.settings().setWarningThreshold(40);
  ASSERT_EQ(lines.size(), written + 2);
  EXPECT_EQ(last("class"), QStringLiteral("warning"));
  model.settings().setWarningThreshold(30);
  EXPECT_EQ(lines.size(), written + 2);
}

// Demonstration data says so first, as the text report does.
TEST_F(WaybarModuleTest, DemonstrationTooltipsStartWithTheReportsNotice) {
  LaunchOptions options;
  options.source = LaunchOptions::Source::mock(MockUsageProvider::Scenario::high);
  AppModel model(options, data.defaults);
  WaybarModule module(model, [&](const EngineState& state) { lines.push_back(WaybarLine::format(state)); });
  awaitFuture(model.store().refresh());
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(last("tooltip").startsWith(
      QStringLiteral("예시 데이터(high)로 만든 보고서예요. 실제 사용량이 아니에요.\n구독 사용량\n")))
      << last("tooltip").toStdString();
}

}  // namespace
