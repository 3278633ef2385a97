#include <gtest/gtest.h>

#include <QRawFont>

#include "ViewTestSupport.h"
#include "views/Appearance.h"
#include "views/Sparkline.h"
#include "views/StateMessage.h"
#include "views/Symbols.h"
#include "views/TrendRow.h"
#include "views/ViewStyle.h"
#include "wording/TrendPhrasing.h"

using namespace ViewTestSupport;

namespace {
const TimePoint kNow = fromEpochSeconds(1763532300);
const Thresholds kThresholds{70, 90};

std::vector<UsageSample> samplesAt(std::initializer_list<std::pair<double, double>> points) {
  std::vector<UsageSample> samples;
  for (const auto& [offset, percent] : points)
    samples.push_back({ServiceID::claude, "five_hour", percent, kNow + Seconds(offset)});
  return samples;
}

class TrendViewsTest : public ::testing::Test {
 protected:
  void SetUp() override { Appearance::apply("light"); }
};
}  // namespace

TEST_F(TrendViewsTest, SparklinePointsEndAtNowOnAFixedScale) {
  const QRectF plot = Sparkline::plotRect(QSizeF(130, 64), Sparkline::Style::detail);
  EXPECT_EQ(plot, QRectF(0, 1.5, 100, 61));
  EXPECT_EQ(Sparkline::plotRect(QSizeF(10, 2), Sparkline::Style::detail), QRectF(0, 1.5, 1, 1));

  // Samples ending an hour before now stop halfway; percentages outside 0...100 are held at the edges.
  const auto points = Sparkline::points(samplesAt({{-7200, 0}, {-3600, 50}, {-3600, 130}}), plot, kNow);
  ASSERT_EQ(points.size(), 3);
  EXPECT_EQ(points[0], QPointF(0, plot.bottom()));
  EXPECT_EQ(points[1], QPointF(50, plot.top() + plot.height() / 2));
  EXPECT_EQ(points[2].y(), plot.top());
  // A single fresh sample: the span is at least a minute, so it sits at the left.
  EXPECT_EQ(Sparkline::points(samplesAt({{0, 20}}), plot, kNow).front().x(), 0);
  EXPECT_TRUE(Sparkline::points({}, plot, kNow).isEmpty());
  EXPECT_EQ(Sparkline::yFor(-5, plot), plot.bottom());

  // The drawn chart ends in a dot of its colour at the last point.
  const QColor red = ViewStyle::red(QApplication::palette());
  const auto samples = samplesAt({{-3600, 20}, {0, 95}});
  Sparkline chart(samples, kThresholds, red, kNow, Sparkline::Style::detail);
  chart.resize(130, 64);
  EXPECT_TRUE(near(render(chart).pixelColor(Sparkline::points(samples, plot, kNow).back().toPoint()), red, 30));
}

TEST_F(TrendViewsTest, RowInteractionFollowsDetailAndSampleCount) {
  const UsageWindow window("five_hour", "5시간", 100, kNow + Seconds(3600), 300);
  WindowTrend full = WindowTrend::insufficient(ServiceID::claude, "five_hour");
  full.samples = samplesAt({{-3600, 80}, {0, 100}});
  full.verdict = TrendVerdict::alreadyFull();
  full.confidence = TrendConfidence::ok;
  const auto fullPresentation = *TrendPhrasing::presentation(full, window, kNow, true);
  int toggles = 0;
  TrendRow fullRow(window, full, fullPresentation, kThresholds, kNow, false, [&] { ++toggles; });
  showAt(fullRow, 300);
  EXPECT_FALSE(fullRow.isInteractive());
  EXPECT_TRUE(fullRow.toolTip().isEmpty());
  fullRow.click();
  EXPECT_EQ(toggles, 0);
  EXPECT_EQ(fullRow.accessibleName(), "예측");
  EXPECT_EQ(fullRow.accessibleDescription(), fullPresentation.spoken + " " + TrendPhrasing::spoken(full.samples, kNow));

  WindowTrend idle = full;
  idle.verdict = TrendVerdict::idle();
  const UsageWindow calm("five_hour", "5시간", 40, kNow + Seconds(3600), 300);
  const auto idlePresentation = *TrendPhrasing::presentation(idle, calm, kNow, true);
  TrendRow idleRow(calm, idle, idlePresentation, kThresholds, kNow, true, [&] { ++toggles; });
  EXPECT_TRUE(idleRow.isInteractive());
  EXPECT_EQ(idleRow.toolTip(), "추이 접기");
  EXPECT_EQ(idleRow.whatsThis(), "자세한 추이를 접어요");
  idleRow.click();
  EXPECT_EQ(toggles, 1);

  idle.samples.resize(1);
  EXPECT_FALSE(TrendRow::isExpandable(idlePresentation, idle));
}

TEST(ViewSymbols, EveryNameHasAGlyphInTheIconFont) {
  const QRawFont font = QRawFont::fromFont(Symbols::font(16));
  ASSERT_EQ(font.familyName(), Symbols::kFontFamily);
  for (const QString& name : Symbols::names()) {
    EXPECT_TRUE(font.supportsCharacter(Symbols::glyph(name))) << name.toStdString();
  }
  EXPECT_TRUE(Symbols::glyph("no.such.symbol").isNull());
}

TEST(ViewStateMessage, MarkupEscapesAndSetsBackQuotedCommandsInCode) {
  const std::pair<const char*, const char*> cases[] = {
      {"터미널에서 `claude`를 실행해", "터미널에서 <code>claude</code>를 실행해"},
      {"<b>굵게</b> & `a<b`", "&lt;b&gt;굵게&lt;/b&gt; &amp; <code>a&lt;b</code>"},
      {"짝이 없는 ` 따옴표", "짝이 없는 ` 따옴표"},
      {"첫 줄.\n둘째 줄", "첫 줄.<br>둘째 줄"},
  };
  for (const auto& [detail, expected] : cases) EXPECT_EQ(StateMessage::markup(detail), expected) << detail;
}
