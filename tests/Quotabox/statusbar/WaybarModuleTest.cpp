#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "../tray/TrayTestModel.h"
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
  const auto afterFirst = lines.size();

  // Same values again: the completed refresh still writes exactly one line.
  data.refreshOnce();
  EXPECT_EQ(lines.size(), afterFirst + 1);
  EXPECT_EQ(lines.back(), lines[afterFirst - 1]);

  // A settings change that alters the line writes at once; one that does not, writes nothing.
  const auto beforeThresholds = lines.size();
  model.settings().setWarningThreshold(40);
  ASSERT_EQ(lines.size(), beforeThresholds + 1);
  EXPECT_EQ(last().value("class").toString(), QStringLiteral("warning"));
  model.settings().setWarningThreshold(30);
  EXPECT_EQ(lines.size(), beforeThresholds + 1);
  model.settings().setCriticalThreshold(43);
  EXPECT_EQ(last().value("class").toString(), QStringLiteral("critical"));
}

}  // namespace
