#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "TrayTestModel.h"
#include "statusbar/WaybarLine.h"
#include "statusbar/WaybarModule.h"

namespace {

using Kind = StatusSlot::Kind;
constexpr auto normal = UsageLevel::normal, warning = UsageLevel::warning, critical = UsageLevel::critical;

TEST(WaybarLine, ClassFollowsTheGlyphsColoursAndPercentageTheHighestValue) {
  const struct {
    const char* name;
    Kind claude, codex;
    const char* cssClass;
    int percentage;
  } rows[] = {
      {"fresh normal values", Kind::value(43.4, normal, false), Kind::value(12, normal, false), "normal", 43},
      {"critical wins over warning", Kind::value(75, warning, false), Kind::value(95.5, critical, false), "critical",
       96},
      {"warning wins over stale", Kind::value(99, critical, true), Kind::value(71, warning, false), "warning", 99},
      {"an outdated critical value is only stale", Kind::value(92, critical, true), Kind::signedOut(), "stale", 92},
      {"no values at all", Kind::loading(), Kind::error(), "normal", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const StatusGlyph glyph{{{ServiceID::claude, row.claude}, {ServiceID::codex, row.codex}}, MenuBarStyle::both};
    EXPECT_EQ(WaybarLine::cssClass(glyph), QString::fromUtf8(row.cssClass));
    EXPECT_EQ(WaybarLine::percentage(glyph), row.percentage);
  }
}

TEST(WaybarLine, IsOneCompactJsonObjectPerLine) {
  const StatusGlyph glyph{{{ServiceID::claude, Kind::value(43, normal, false)}, {ServiceID::codex, Kind::signedOut()}},
                          MenuBarStyle::icon};
  const QByteArray line = WaybarLine::format(glyph, QStringLiteral("Claude\n5시간 43%"));
  ASSERT_TRUE(line.endsWith('\n'));
  EXPECT_EQ(line.count('\n'), 1) << "the tooltip's line breaks must be escaped";
  const QJsonObject object = QJsonDocument::fromJson(line).object();
  EXPECT_EQ(object.value("text").toString(), QStringLiteral("C 43% \u00B7 G \u2013"));
  EXPECT_EQ(object.value("tooltip").toString(), QStringLiteral("Claude\n5시간 43%"));
  EXPECT_EQ(object.value("percentage").toInt(-1), 43);
}

class WaybarModuleTest : public SandboxedTest {
 protected:
  TrayTestModel data{43};
  std::vector<QByteArray> lines;

  QJsonObject last() const { return QJsonDocument::fromJson(lines.back()).object(); }
};

TEST_F(WaybarModuleTest, WritesOnChangesAndAfterEveryRefreshButNotForUnchangedState) {
  AppModel& model = *data.model;
  WaybarModule module(
      model, [this](const QByteArray& line) { lines.push_back(line); }, data.clock.clock());
  module.emitLine();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(last().value("text").toString(), QStringLiteral("C \u2026 \u00B7 G \u2026"));

  data.refreshOnce();
  EXPECT_EQ(last().value("text").toString(), QStringLiteral("C 43% \u00B7 G \u2013"));
  // Same values again: the completed refresh still writes exactly one line.
  const auto written = lines.size();
  data.refreshOnce();
  ASSERT_EQ(lines.size(), written + 1);
  EXPECT_EQ(lines.back(), lines[written - 1]);

  // A settings change that alters the line writes at once; one that does not, writes nothing.
  model.settings().setWarningThreshold(40);
  ASSERT_EQ(lines.size(), written + 2);
  EXPECT_EQ(last().value("class").toString(), QStringLiteral("warning"));
  model.settings().setWarningThreshold(30);
  EXPECT_EQ(lines.size(), written + 2);
}

}  // namespace
