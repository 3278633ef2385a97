#include <gtest/gtest.h>

#include <QLabel>
#include <QRawFont>
#include <algorithm>
#include <functional>

#include "SeoulTime.h"
#include "ViewTestSupport.h"
#include "style/AppLook.h"
#include "style/Look.h"
#include "views/Divider.h"
#include "views/FittingLabel.h"
#include "views/LevelBadge.h"
#include "views/MetricRow.h"
#include "views/PlanBadge.h"
#include "views/QuotaboxView.h"
#include "views/ServiceCard.h"
#include "views/Sparkline.h"
#include "views/StateMessage.h"
#include "views/Symbols.h"
#include "views/TrendRow.h"
#include "views/WindowRow.h"
#include "wording/TrendPhrasing.h"

using namespace ViewTestSupport;

namespace {
const TimePoint kNow = kSeoulAfternoon;
const Thresholds kThresholds{70, 90};

UsageWindow window(double percent, std::optional<double> resetIn) {
  return UsageWindow("five_hour", "5시간", percent,
                     resetIn ? std::optional<TimePoint>(kNow + Seconds(*resetIn)) : std::nullopt, 300);
}

std::vector<UsageSample> samplesAt(std::initializer_list<std::pair<double, double>> points) {
  std::vector<UsageSample> samples;
  for (const auto& [offset, percent] : points)
    samples.push_back({ServiceID::claude, "five_hour", percent, kNow + Seconds(offset)});
  return samples;
}

// A card for a successful ChatGPT snapshot on the Plus plan.
ServiceCard::Input codexCard(std::vector<UsageWindow> windows, std::vector<UsageMetric> metrics = {}) {
  ServiceCard::Input input;
  input.service = ServiceID::codex;
  input.usage = ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::ok());
  input.usage->planName = "Plus";
  input.usage->windows = std::move(windows);
  input.usage->metrics = std::move(metrics);
  input.now = kNow;
  return input;
}

// The parts of a service card, drawn in the light look with times in Seoul.
class CardViewsTest : public SeoulTimeTest {
 protected:
  void SetUp() override {
    SeoulTimeTest::SetUp();
    AppLook::apply(false);
  }
};
}  // namespace

TEST_F(CardViewsTest, CardWithoutWindowsShowsOnlyTheMetricsWorthShowing) {
  ServiceCard empty(codexCard({}, {{"a", "크레딧", "—"}}));
  EXPECT_TRUE(texts(&empty).contains("표시할 사용량 한도 정보가 없어요."));
  EXPECT_TRUE(empty.findChildren<MetricRow*>().isEmpty());
  EXPECT_TRUE(empty.findChildren<Divider*>().isEmpty());
  EXPECT_EQ(empty.findChildren<PlanBadge*>().size(), 1);

  ServiceCard withMetric(codexCard({UsageWindow("codex_primary", "주간", 7, kNow + Seconds(3600))},
                                   {{"a", "크레딧", "—"}, {"credits", "크레딧", "12.5"}}));
  ASSERT_EQ(withMetric.findChildren<MetricRow*>().size(), 1);
  EXPECT_EQ(withMetric.findChildren<MetricRow*>().front()->accessibleDescription(), "12.5");
  EXPECT_EQ(withMetric.findChildren<Divider*>().size(), 1);
}

TEST_F(CardViewsTest, CardForecastsOnlyFromFreshSuccessfulValues) {
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
  const std::vector<UsageWindow> windows{UsageWindow("codex_primary", "주간", 7, kNow + Seconds(3600))};
  // The spoken text of the one trend row of a card whose snapshot `change` adjusted; the row is clicked.
  const auto rowTitle = [&](const std::function<void(ServiceUsage&)>& change) {
    auto input = codexCard(windows);
    change(*input.usage);
    input.trends = context;
    ServiceCard card(input);
    const auto rows = card.findChildren<TrendRow*>();
    if (rows.size() != 1) return QString("rows: %1").arg(rows.size());
    rows.front()->click();
    return rows.front()->accessibleDescription();
  };
  const QString current = rowTitle([](ServiceUsage&) {});
  EXPECT_TRUE(current.startsWith("지금 속도면 초기화 전까지 여유 있어요.")) << current.toStdString();
  EXPECT_EQ(toggledID, "codex_primary");

  // Values kept from before a failed fetch, or past the freshness limit, get no forecast.
  const QString failed = rowTitle([](ServiceUsage& u) { u.status = ProviderStatus::unavailable("연결 실패"); });
  EXPECT_TRUE(failed.startsWith("최신 값이 아니라서")) << failed.toStdString();
  EXPECT_TRUE(rowTitle([](ServiceUsage& u) { u.fetchedAt = kNow - Seconds(901); }).startsWith("최신 값이 아니라서"));
}

TEST_F(CardViewsTest, SparklinePointsEndAtNowOnAFixedScale) {
  const QRectF plot = Sparkline::plotRect(QSizeF(130, 64), Sparkline::Style::detail);
  EXPECT_EQ(Sparkline::plotRect(QSizeF(10, 2), Sparkline::Style::detail).size(), QSizeF(1, 1));

  // Samples ending an hour before now stop halfway; percentages outside 0...100 are held at the edges.
  const auto points = Sparkline::points(samplesAt({{-7200, 0}, {-3600, 50}, {-3600, 130}}), plot, kNow);
  ASSERT_EQ(points.size(), 3);
  EXPECT_EQ(points[0], QPointF(0, plot.bottom()));
  EXPECT_EQ(points[1], QPointF(50, plot.top() + plot.height() / 2));
  EXPECT_EQ(points[2].y(), plot.top());
  // A single fresh sample: the span is at least a minute, so it sits at the left.
  EXPECT_EQ(Sparkline::points(samplesAt({{0, 20}}), plot, kNow).front().x(), 0);
  EXPECT_TRUE(Sparkline::points({}, plot, kNow).isEmpty());

  // The drawn chart ends in a dot of its colour at the last point.
  const QColor red = Look::red(QApplication::palette());
  const auto samples = samplesAt({{-3600, 20}, {0, 95}});
  Sparkline chart(samples, kThresholds, red, kNow, Sparkline::Style::detail);
  chart.resize(130, 64);
  const QColor dot = render(chart).pixelColor(Sparkline::points(samples, plot, kNow).back().toPoint());
  EXPECT_TRUE(near(QColor(dot.rgb()), red, 30));

  // A full window sampled now puts the end dot in the corner of the plot, still whole.
  for (const auto style : {Sparkline::Style::mini, Sparkline::Style::detail}) {
    const QSizeF size(style == Sparkline::Style::mini ? 64 : 300, style == Sparkline::Style::mini ? 20 : 64);
    const QPointF end =
        Sparkline::points(samplesAt({{-60, 100}, {0, 100}}), Sparkline::plotRect(size, style), kNow).back();
    const double radius = Sparkline::dotDiameter(style) / 2;
    EXPECT_TRUE(
        QRectF(QPointF(0, 0), size).contains(QRectF(end - QPointF(radius, radius), end + QPointF(radius, radius))))
        << "dot at " << end.x() << "," << end.y();
  }
}

TEST_F(CardViewsTest, ThresholdLabelsNeverOverlapAndStayInTheChart) {
  const QSizeF size(300, 64);
  const QRectF chart(QPointF(0, 0), size);
  for (const Thresholds thresholds :
       {Thresholds{80, 85}, Thresholds{80, 95}, Thresholds{90, 95}, Thresholds{120, -5}}) {
    const auto [warning, critical] = Sparkline::thresholdLabelRects(size, thresholds);
    EXPECT_FALSE(warning.intersects(critical)) << thresholds.warning << "/" << thresholds.critical;
    EXPECT_TRUE(chart.contains(warning) && chart.contains(critical))
        << thresholds.warning << "/" << thresholds.critical;
  }
  // With room enough each label sits at its own line.
  const QRectF plot = Sparkline::plotRect(size, Sparkline::Style::detail);
  const auto [warning, critical] = Sparkline::thresholdLabelRects(size, kThresholds);
  EXPECT_DOUBLE_EQ(warning.center().y(), Sparkline::yFor(70, plot));
  EXPECT_DOUBLE_EQ(critical.center().y(), Sparkline::yFor(90, plot));
}

TEST_F(CardViewsTest, TrendRowInteractionFollowsDetailAndSampleCount) {
  const UsageWindow fullWindow = window(100, 3600), calm = window(40, 3600);
  WindowTrend full = WindowTrend::insufficient(ServiceID::claude, "five_hour");
  full.samples = samplesAt({{-3600, 80}, {0, 100}});
  full.verdict = TrendVerdict::alreadyFull();
  full.confidence = TrendConfidence::ok;
  const auto fullPresentation = *TrendPhrasing::presentation(full, fullWindow, kNow, true);
  int toggles = 0;
  TrendRow fullRow(fullWindow, full, fullPresentation, kThresholds, kNow, false, [&] { ++toggles; });
  showAt(fullRow, 300);
  EXPECT_FALSE(fullRow.isInteractive());
  EXPECT_TRUE(fullRow.toolTip().isEmpty());
  fullRow.click();
  EXPECT_EQ(toggles, 0);

  WindowTrend idle = full;
  idle.verdict = TrendVerdict::idle();
  const auto idlePresentation = *TrendPhrasing::presentation(idle, calm, kNow, true);
  TrendRow idleRow(calm, idle, idlePresentation, kThresholds, kNow, true, [&] { ++toggles; });
  EXPECT_TRUE(idleRow.isInteractive());
  EXPECT_EQ(idleRow.toolTip(), "추이 접기");
  idleRow.click();
  EXPECT_EQ(toggles, 1);

  idle.samples.resize(1);
  EXPECT_FALSE(TrendRow::isExpandable(idlePresentation, idle));

  // Labels inside the row (a button) keep their colours: the title is loud only when urgent.
  const auto shown = [](const QLabel* label) { return label->palette().color(label->foregroundRole()); };
  const QPalette& colors = QApplication::palette();
  const auto idleTexts = idleRow.findChildren<QLabel*>();
  ASSERT_FALSE(idleTexts.isEmpty());
  for (const QLabel* label : idleTexts) EXPECT_EQ(shown(label), Look::secondary(colors)) << label->text().toStdString();
  const auto fullTexts = fullRow.findChildren<QLabel*>();
  const auto fullTitle = std::find_if(fullTexts.cbegin(), fullTexts.cend(),
                                      [&](const QLabel* label) { return label->text() == fullPresentation.title; });
  ASSERT_NE(fullTitle, fullTexts.cend());
  EXPECT_EQ(shown(*fullTitle), Look::primary(colors));
}

TEST(ViewSymbols, EveryNameHasAGlyphInTheIconFont) {
  const QRawFont font = QRawFont::fromFont(Symbols::font(16));
  ASSERT_EQ(font.familyName(), Symbols::kFontFamily);
  for (const QString& name : Symbols::names()) {
    EXPECT_TRUE(font.supportsCharacter(Symbols::glyph(name))) << name.toStdString();
  }
  EXPECT_TRUE(Symbols::glyph("no.such.symbol").isNull());
}

// Pages are rebuilt at every popover opening; new icon objects each time would fill Qt's pixmap
// cache a little more at every opening.
TEST(ViewSymbols, TheSameIconIsReusedAcrossPages) {
  const QIcon first = Symbols::icon("arrow.clockwise", 16, Qt::black);
  EXPECT_EQ(Symbols::icon("arrow.clockwise", 16, Qt::black).cacheKey(), first.cacheKey());
  EXPECT_NE(Symbols::icon("arrow.clockwise", 16, Qt::white).cacheKey(), first.cacheKey());
  EXPECT_NE(Symbols::icon("arrow.clockwise", 20, Qt::black).cacheKey(), first.cacheKey());
  EXPECT_NE(Symbols::icon("gearshape", 16, Qt::black).cacheKey(), first.cacheKey());
  EXPECT_FALSE(first.pixmap(QSize(19, 19), 2.0).isNull());
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

TEST_F(CardViewsTest, WindowRowSpokenValueByResetAndLevel) {
  const QString passedAt = KoreanTime::absolute(kNow - Seconds(2400), kNow);
  const struct {
    double percent;
    std::optional<double> resetIn;
    const char* expected;
  } cases[] = {
      {38.5, 8040, "39퍼센트 사용, 62퍼센트 남음, 2시간 14분 후 초기화, "},
      {75, 30, "75퍼센트 사용, 25퍼센트 남음, 주의, 곧 초기화, "},
      {95, std::nullopt, "95퍼센트 사용, 5퍼센트 남음, 한도 임박"},
      {95, -2400, "이전 주기에 95퍼센트 사용, "},
  };
  for (const auto& c : cases) {
    const auto w = window(c.percent, c.resetIn);
    QString expected = QString::fromUtf8(c.expected);
    if (c.resetIn && *c.resetIn > 0) expected += KoreanTime::absolute(*w.resetsAt, kNow);
    if (c.resetIn && *c.resetIn < 0) expected += passedAt + "에 초기화됨, 새로고침 필요";
    EXPECT_EQ(WindowRow::spokenValue(w, levelOf(c.percent, kThresholds), kNow), expected);
  }
}

TEST_F(CardViewsTest, APassedResetShowsThePreviousCycleDimmedWithoutBadge) {
  WindowRow passed(window(95, -2400), UsageLevel::critical, kThresholds, kNow, std::nullopt);
  showAt(passed, 312);
  EXPECT_TRUE(texts(&passed).contains("이전 주기 값"));
  EXPECT_TRUE(
      texts(&passed).contains(KoreanTime::absolute(kNow - Seconds(2400), kNow) + "에 초기화됨 · 새로고침 필요"));
  EXPECT_TRUE(passed.findChildren<LevelBadge*>().isEmpty());
  // The passed row's bar is faded grey rather than red.
  const QColor faded = passed.findChildren<QuotaboxView*>().front()->fillColor();
  EXPECT_LT(faded.alphaF(), 1);
  EXPECT_LT(faded.hsvSaturation(), 40);

  WindowRow current(window(95, 8040), UsageLevel::critical, kThresholds, kNow, std::nullopt);
  showAt(current, 312);
  EXPECT_TRUE(texts(&current).contains("5% 남음"));
  EXPECT_EQ(current.findChildren<LevelBadge*>().size(), 1);
  EXPECT_EQ(current.findChildren<QuotaboxView*>().front()->fillColor(), Look::red(current.palette()));
}

TEST_F(CardViewsTest, UsageBarFillsByLevelWithTicksAtTheThresholds) {
  // Normal bars take the accent and critical ones red (see the look and window-row cases).
  EXPECT_EQ(QuotaboxView(50, UsageLevel::warning, kThresholds, false).fillColor(),
            Look::orange(QApplication::palette()));
  // The fill ends at its share; beyond it the track, marked at 70 and 90 %.
  QuotaboxView bar(40, UsageLevel::normal, kThresholds, false);
  bar.resize(200, QuotaboxView::kHeight);
  const QImage image = render(bar);
  const auto at = [&image](int x) { return image.pixelColor(x, 3); };
  EXPECT_TRUE(near(at(40), bar.fillColor(), 12));
  EXPECT_NE(at(120), at(40));
  EXPECT_NE(at(140), at(120));
  EXPECT_NE(at(180), at(120));
  EXPECT_EQ(at(160), at(120));

  EXPECT_EQ(QuotaboxView::fillWidth(0, 200), 0);
  EXPECT_EQ(QuotaboxView::fillWidth(1, 200), QuotaboxView::kHeight);  // as wide as the bar is high
  EXPECT_EQ(QuotaboxView::fillWidth(130, 200), 200);
}

TEST_F(CardViewsTest, TheResetLineShrinksToEightyFivePercentThenElides) {
  const QString text = "2시간 14분 후 초기화 · 11월 21일 (금) 오후 3:05";
  FittingLabel line(text, Look::font(11), Qt::black, 0.85);
  const double natural = line.sizeHint().width();
  EXPECT_EQ(line.scaleFor(natural + 1), 1.0);
  EXPECT_NEAR(line.scaleFor(natural * 0.9), 0.9, 0.02);
  EXPECT_EQ(line.scaleFor(natural * 0.5), 0.85);
  EXPECT_EQ(line.minimumSizeHint().width(), 0);
}
