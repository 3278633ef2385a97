#include <gtest/gtest.h>

#include "TestSandbox.h"
#include "ViewTestSupport.h"
#include "views/Appearance.h"
#include "views/FittingLabel.h"
#include "views/LevelBadge.h"
#include "views/QuotaboxView.h"
#include "views/ViewStyle.h"
#include "views/WindowRow.h"
#include "wording/KoreanTime.h"

using namespace ViewTestSupport;

namespace {
// 2025-11-19 15:05:00 in Seoul.
const TimePoint kNow = fromEpochSeconds(1763532300);
const Thresholds kThresholds{70, 90};

UsageWindow window(double percent, std::optional<double> resetIn) {
  return UsageWindow("five_hour", "5시간", percent,
                     resetIn ? std::optional<TimePoint>(kNow + Seconds(*resetIn)) : std::nullopt, 300);
}

class WindowRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Appearance::apply("light");
    KoreanTime::setTimeZoneForTesting("Asia/Seoul");
  }
  void TearDown() override { KoreanTime::setTimeZoneForTesting(nullptr); }
};
}  // namespace

TEST_F(WindowRowTest, SpokenValueByResetAndLevel) {
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

TEST_F(WindowRowTest, APassedResetShowsThePreviousCycleDimmedWithoutBadge) {
  WindowRow passed(window(95, -2400), UsageLevel::critical, kThresholds, kNow, std::nullopt);
  showAt(passed, 312);
  EXPECT_TRUE(texts(&passed).contains("이전 주기 값"));
  EXPECT_TRUE(
      texts(&passed).contains(KoreanTime::absolute(kNow - Seconds(2400), kNow) + "에 초기화됨 · 새로고침 필요"));
  EXPECT_TRUE(passed.findChildren<LevelBadge*>().isEmpty());
  // The passed row's bar is faded grey rather than red.
  const QWidget* bar = passed.findChildren<QuotaboxView*>().front();
  const QColor primary = ViewStyle::primary(passed.palette());
  const QColor dimmed = over(over(passed.palette().color(QPalette::Window), primary, 0.1), primary, 0.5 * 0.5);
  const QColor drawn = render(passed).pixelColor(bar->mapTo(&passed, QPoint(50, 3)));
  EXPECT_TRUE(near(drawn, dimmed, 8)) << drawn.name().toStdString() << " vs " << dimmed.name().toStdString();

  WindowRow current(window(95, 8040), UsageLevel::critical, kThresholds, kNow, std::nullopt);
  showAt(current, 312);
  EXPECT_TRUE(texts(&current).contains("5% 남음"));
  EXPECT_EQ(current.findChildren<LevelBadge*>().size(), 1);
}

TEST_F(WindowRowTest, BarFillsByLevelWithTicksAtTheThresholds) {
  const QPalette colors = QApplication::palette();
  const QColor track = over(colors.color(QPalette::Window), ViewStyle::primary(colors), 0.1);
  const struct {
    double percent;
    UsageLevel level;
    QColor fill;
  } cases[] = {
      {40, UsageLevel::normal, ViewStyle::accent(colors)},
      {75, UsageLevel::warning, ViewStyle::orange(colors)},
      {95, UsageLevel::critical, ViewStyle::red(colors)},
  };
  for (const auto& c : cases) {
    QuotaboxView bar(c.percent, c.level, kThresholds, false);
    bar.resize(200, QuotaboxView::kHeight);
    const QImage image = render(bar);
    EXPECT_TRUE(near(image.pixelColor(static_cast<int>(c.percent), 3), c.fill)) << c.percent;
    EXPECT_TRUE(near(image.pixelColor(199 - 4, 3), track)) << c.percent;  // beyond the fill: the track
  }
  // A tick at 70 % on an empty bar.
  QuotaboxView empty(0, UsageLevel::normal, kThresholds, false);
  empty.resize(200, QuotaboxView::kHeight);
  EXPECT_TRUE(near(render(empty).pixelColor(140, 3), over(track, ViewStyle::primary(colors), 0.25), 8));

  EXPECT_EQ(QuotaboxView::fillWidth(0, 200), 0);
  EXPECT_EQ(QuotaboxView::fillWidth(1, 200), QuotaboxView::kHeight);  // as wide as the bar is high
  EXPECT_EQ(QuotaboxView::fillWidth(130, 200), 200);
}

TEST_F(WindowRowTest, TheResetLineShrinksToEightyFivePercentThenElides) {
  const QString text = "2시간 14분 후 초기화 · 11월 21일 (금) 오후 3:05";
  FittingLabel line(text, ViewStyle::font(11), Qt::black, 0.85);
  const double natural = line.sizeHint().width();
  EXPECT_EQ(line.scaleFor(natural + 1), 1.0);
  EXPECT_NEAR(line.scaleFor(natural * 0.9), 0.9, 0.02);
  EXPECT_EQ(line.scaleFor(natural * 0.5), 0.85);
  EXPECT_EQ(line.minimumSizeHint().width(), 0);
}
