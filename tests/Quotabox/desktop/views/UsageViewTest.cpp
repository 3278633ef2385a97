#include <gtest/gtest.h>

#include <QAccessible>
#include <QShortcut>
#include <array>

#include "EventLoop.h"
#include "TestSandbox.h"
#include "ViewTestSupport.h"
#include "appmodel/AppModel.h"
#include "style/AppLook.h"
#include "views/HeadingLabel.h"
#include "views/LevelBadge.h"
#include "views/PlanBadge.h"
#include "views/ServiceCard.h"
#include "views/StaleBanner.h"
#include "views/StateMessage.h"
#include "views/TrendDetail.h"
#include "views/TrendRow.h"
#include "views/UsageView.h"
#include "views/WindowRow.h"

using namespace ViewTestSupport;

namespace {

class UsageViewTest : public SandboxedTest {
 protected:
  void SetUp() override { AppLook::apply(false); }
};

// The widgets of type T under `root` that are on screen.
template <typename T>
std::vector<T*> visible(const QWidget& root) {
  std::vector<T*> found;
  for (auto* widget : root.findChildren<T*>()) {
    if (widget->isVisible()) found.push_back(widget);
  }
  return found;
}
std::vector<ServiceCard*> cards(const QWidget& view) { return visible<ServiceCard>(view); }

}  // namespace

TEST_F(UsageViewTest, DemonstrationScenariosShowEachCardState) {
  // A failure keeps the provider's sentence and adds the retry line.
  const QString retryDetail = StateMessage::markup("네트워크에 연결할 수 없어요.\n2분마다 자동으로 다시 시도해요.");
  const struct {
    const char* option;
    // The card's window rows, level badges, plan badges, state messages, stale banners.
    std::array<qsizetype, 5> counts;
    QStringList texts;
    int card = 0;  // Claude's, or ChatGPT's
  } cases[] = {
      {"--mock", {3, 0, 1, 0, 0}, {"5시간", "38% 사용", "62% 남음"}},
      {"--mock-high", {3, 3, 1, 0, 0}, {"주의", "한도 임박"}},
      {"--mock-error", {0, 0, 0, 1, 0}, {"사용량을 불러오지 못했어요", "다시 시도", retryDetail}},
      {"--mock-stale", {3, 0, 1, 0, 1}, {"오래된 데이터예요", "이전 주기 값"}},
      {"--mock-retained", {3, 0, 0, 1, 0}, {"갱신 실패 · 마지막 성공값이에요", "다시 시도", "38% 사용"}},
      // Each card shows its own service's state.
      {"--mock-mixed", {0, 0, 0, 1, 0}, {"로그인되어 있지 않아요", "새로고침"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    auto model = demoModel(c.option);
    UsageView view(*model);
    showAt(view, 360);
    ASSERT_EQ(cards(view).size(), 2u);
    const ServiceCard* card = cards(view)[c.card];
    const std::array<qsizetype, 5> counts{
        card->findChildren<WindowRow*>().size(), card->findChildren<LevelBadge*>().size(),
        card->findChildren<PlanBadge*>().size(), card->findChildren<StateMessage*>().size(),
        card->findChildren<StaleBanner*>().size()};
    EXPECT_EQ(counts, c.counts);
    for (const QString& text : c.texts) EXPECT_TRUE(texts(card).contains(text)) << text.toStdString();
  }
}

TEST_F(UsageViewTest, LoadingCardsFooterShortcutsAndTheClock) {
  auto model = demoModel("--mock", false);
  UsageView view(*model);
  showAt(view, 360);
  EXPECT_TRUE(view.isTicking());  // relative times move on while shown
  for (auto* card : cards(view)) EXPECT_TRUE(texts(card).contains("사용량을 불러오는 중…"));
  EXPECT_TRUE(texts(&view).contains("아직 갱신 전"));

  auto future = model->store().refresh();
  EXPECT_EQ(view.lastRefreshText(model->now()), "불러오는 중…");
  awaitFuture(future);
  QApplication::processEvents();
  const QString footer = view.lastRefreshText(model->now());
  EXPECT_TRUE(footer.endsWith(" · 방금")) << footer.toStdString();
  EXPECT_TRUE(texts(&view).contains(footer));

  QShortcut* settings = nullptr;
  QShortcut* refresh = nullptr;
  for (auto* shortcut : view.findChildren<QShortcut*>()) {
    if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_Comma)) settings = shortcut;
    if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_R)) refresh = shortcut;
  }
  ASSERT_TRUE(settings && refresh);
  emit refresh->activated();
  EXPECT_TRUE(model->store().isRefreshing());
  ASSERT_TRUE(waitUntil([&] { return !model->store().isRefreshing(); }));
  emit settings->activated();
  EXPECT_EQ(model->page(), AppModel::Page::settings);
}

TEST_F(UsageViewTest, OneTrendOpensAtATimeAndRowsFollowTheSettings) {
  auto model = demoModel("--mock-trends");
  UsageView view(*model);
  showAt(view, 360);
  const int collapsedHeight = view.sizeHint().height();

  const auto interactiveRows = [&view] {
    auto rows = visible<TrendRow>(view);
    std::erase_if(rows, [](TrendRow* row) { return !row->isInteractive(); });
    return rows;
  };
  const auto openDetails = [&view] { return visible<TrendDetail>(view).size(); };
  // Claude's full window and Codex's collecting one cannot expand; three rows can.
  ASSERT_EQ(interactiveRows().size(), 3u);
  EXPECT_EQ(interactiveRows().front()->toolTip(), "추이 자세히 보기");

  interactiveRows().front()->click();
  ASSERT_TRUE(waitUntil([&] { return openDetails() == 1u; }));
  EXPECT_EQ(model->expandedTrends(), std::set<std::string>{"claude.seven_day"});
  EXPECT_GT(view.sizeHint().height(), collapsedHeight);

  // A row of the other card takes over.
  interactiveRows().back()->click();
  ASSERT_TRUE(waitUntil([&] { return model->expandedTrends() == std::set<std::string>{"codex.codex_secondary"}; }));
  QApplication::processEvents();
  EXPECT_EQ(openDetails(), 1u);
  EXPECT_EQ(cards(view)[0]->findChildren<TrendDetail*>().size(), 0);

  interactiveRows().back()->click();
  ASSERT_TRUE(waitUntil([&] { return openDetails() == 0u; }));
  EXPECT_EQ(view.sizeHint().height(), collapsedHeight);

  // Trend rows need both the trend and the history setting.
  const auto visibleRows = [&view] { return visible<TrendRow>(view).size(); };
  model->settings().setShowTrends(false);
  ASSERT_TRUE(waitUntil([&] { return visibleRows() == 0u; }));
  model->settings().setShowTrends(true);
  ASSERT_TRUE(waitUntil([&] { return visibleRows() == 5u; }));
  model->applyHistoryEnabled(false);
  ASSERT_TRUE(waitUntil([&] { return visibleRows() == 0u; }));
}

TEST_F(UsageViewTest, AssistiveTechnologyReadsHeadingsAndTheSpokenValues) {
  auto model = demoModel("--mock-high");
  UsageView view(*model);
  showAt(view, 360);
  QStringList headings;
  for (auto* label : view.findChildren<HeadingLabel*>()) {
    if (!label->isVisible()) continue;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
    ASSERT_TRUE(accessible);
    EXPECT_EQ(accessible->role(), QAccessible::Heading);
    headings << accessible->text(QAccessible::Name);
  }
  EXPECT_EQ(headings, QStringList({"구독 사용량", "Claude", "ChatGPT (Codex)"}));

  const auto usage = model->orderedUsages().front().second;
  ASSERT_TRUE(usage);
  const QWidget* summary = nullptr;
  for (auto* widget : cards(view)[0]->findChildren<QWidget*>()) {
    if (widget->accessibleName() == "5시간 한도") summary = widget;
  }
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->accessibleDescription(),
            WindowRow::spokenValue(usage->windows.front(), UsageLevel::warning, model->now()));
  for (auto* badge : cards(view)[0]->findChildren<PlanBadge*>()) EXPECT_EQ(badge->accessibleName(), "Max 5x 플랜");
}
