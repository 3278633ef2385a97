#include <QMenu>

#include "TrayTestModel.h"
#include "tray/GlyphFace.h"
#include "tray/TrayController.h"
#include "tray/TrayMenu.h"

namespace {

class TrayControllerTest : public SandboxedTest {
 protected:
  TrayTestModel data{40, std::make_shared<Gate>()};
  FakeTrayItem item;
  PopoverWindow popover{*data.model, TrayTestModel::labelPages()};
  TrayController controller{*data.model, item, popover, GlyphFace::fromModel, data.clock.clock()};
};

UsageWindow window(double percent, std::optional<double> resetsAt) {
  return fiveHourWindow(percent, resetsAt ? std::optional(fromEpochSeconds(*resetsAt)) : std::nullopt);
}

}  // namespace

TEST_F(TrayControllerTest, FollowsStoreSettingsAndTimeAndSendsOnlyChangedFaces) {
  ASSERT_EQ(item.shown.size(), 1u);
  EXPECT_EQ(item.shown.back().label, QStringLiteral("C … · G …"));
  EXPECT_EQ(controller.rejudgeInMs(), -1);  // nothing loaded: nothing changes with time

  data.refreshOnce();
  EXPECT_EQ(item.shown.back().label, QStringLiteral("C 40% · G –"));
  const std::size_t sent = item.shown.size();

  // A settings change that leaves the face as it was sends nothing.
  data.model->settings().setWarningThreshold(50);
  EXPECT_EQ(item.shown.size(), sent);

  // The controller re-judges when the data would turn outdated (fresh for 900 s, reset in 3600 s).
  data.clock.advance(890);
  controller.redraw();
  EXPECT_NEAR(controller.rejudgeInMs(), 10000, 2);
  // Time alone makes the data outdated once a redraw judges it again.
  data.clock.advance(11);
  data.model->settings().setRefreshInterval(60);
  ASSERT_EQ(item.shown.size(), sent + 1);
  EXPECT_TRUE(item.shown.back().tooltip.contains(QStringLiteral("오래된 데이터")));

  controller.setDarkPanel(false);
  ASSERT_EQ(item.shown.size(), sent + 2);
  EXPECT_EQ(item.shown.back(), GlyphFace::fromModel(*data.model, data.clock.now(), false));
  controller.setDarkPanel(false);
  EXPECT_EQ(item.shown.size(), sent + 2);
}

TEST(TrayControllerJudgementTest, NextChangeIsTheEarliestFreshnessLimitOrReset) {
  const double now = 1760000000;
  // Claude's usage alone, with these windows, fetched `age` seconds ago.
  const auto claude = [&](std::vector<UsageWindow> windows, double age) {
    return UsageMap{{ServiceID::claude, okUsage(ServiceID::claude, std::move(windows), now - age)}};
  };
  UsageMap failures = {{ServiceID::claude, failedUsage(ServiceID::claude, ProviderStatus::unavailable("x"), now)},
                       {ServiceID::codex, okUsage(ServiceID::codex, {}, now)}};
  UsageMap both = claude({window(10, now + 3600)}, 0);
  both.emplace(ServiceID::codex, okUsage(ServiceID::codex, {window(10, now + 3600)}, now - 500));
  const std::tuple<const char*, UsageMap, std::optional<double>> cases[] = {
      {"fresh, reset later", claude({window(10, now + 3600)}, 0), now + 900},
      {"reset before the limit", claude({window(10, now + 60)}, 0), now + 60},
      {"outdated, no reset ahead", claude({window(10, now - 60), window(20, std::nullopt)}, 1000), std::nullopt},
      {"outdated, reset ahead", claude({window(10, now + 50)}, 1000), now + 50},
      {"failures never change", failures, std::nullopt},
      {"earliest across services", both, now + 400},
  };
  for (const auto& [name, usages, expected] : cases) {
    const auto next = TrayController::nextJudgementChange(usages, 120, fromEpochSeconds(now));
    EXPECT_EQ(next ? std::optional(toEpochSeconds(*next)) : std::nullopt, expected) << name;
  }
}

TEST_F(TrayControllerTest, ActivationTogglesThePopoverAndSecondaryActivationRefreshesOnce) {
  emit item.activated(QPoint(300, 20), true);
  ASSERT_TRUE(popover.isOpen());
  ASSERT_NE(popover.page(), nullptr);
  EXPECT_EQ(popover.page()->objectName(), QStringLiteral("usagePage"));
  // Opening without any refresh so far starts one; the gate holds it running.
  ASSERT_TRUE(waitUntil([&] { return data.model->store().isRefreshing(); }));

  // Requests while it runs queue one more, which waits out the spacing of requested refreshes.
  emit item.secondaryActivated();
  emit item.secondaryActivated();
  data.gate->open();
  ASSERT_TRUE(waitUntil([&] { return !data.model->store().isRefreshing(); }));
  EXPECT_EQ(data.claude->calls, 1);
  data.clock.advance(10);
  emit item.secondaryActivated();
  ASSERT_TRUE(waitUntil([&] { return data.claude->calls == 2 && !data.model->store().isRefreshing(); }));
  EXPECT_FALSE(data.model->store().hasQueuedRefresh());
}

TEST_F(TrayControllerTest, ContextMenuOffersUsageRefreshSettingsAndQuit) {
  // The menu shown here and the one hosts draw hold the same entries.
  const QList<QAction*> actions = controller.contextMenu()->actions();
  QStringList shown, served;
  for (const QAction* action : actions) shown << (action->isSeparator() ? "-" : action->text());
  for (const TrayMenu::Entry& entry : controller.menu().entries()) served << (entry.separator ? "-" : entry.label);
  ASSERT_EQ(shown, QStringList({"사용량 보기", "새로고침", "설정", "-", "종료"}));
  EXPECT_EQ(served, shown);

  // While a refresh runs, the refresh entry is off in both menus.
  actions[1]->trigger();
  ASSERT_TRUE(waitUntil([&] { return data.model->store().isRefreshing(); }));
  EXPECT_FALSE(actions[1]->isEnabled());
  EXPECT_FALSE(controller.menu().entry(TrayMenuIds::refresh)->enabled);
  data.gate->open();
  ASSERT_TRUE(waitUntil([&] { return data.claude->calls == 1 && !data.model->store().isRefreshing(); }));
  EXPECT_TRUE(actions[1]->isEnabled());

  actions[0]->trigger();
  ASSERT_TRUE(popover.isOpen());
  EXPECT_EQ(popover.page()->objectName(), QStringLiteral("usagePage"));
  popover.dismiss();

  actions[2]->trigger();  // 설정
  ASSERT_TRUE(popover.isOpen());
  EXPECT_EQ(data.model->page(), AppModel::Page::settings);
  EXPECT_EQ(popover.page()->objectName(), QStringLiteral("settingsPage"));

  // Closing returns the model to the usage page for the next opening.
  emit item.activated(QPoint(), false);
  EXPECT_FALSE(popover.isOpen());
  EXPECT_EQ(data.model->page(), AppModel::Page::usage);
}

TEST_F(TrayControllerTest, AHostsMenuRequestPopsUpOnX11AndOpensThePopoverElsewhere) {
  controller.canPlacePopups = [] { return false; };
  emit item.contextMenuRequested(QPoint(1200, 10));
  EXPECT_TRUE(popover.isOpen());
  EXPECT_FALSE(controller.contextMenu()->isVisible());
  popover.dismiss();

  controller.canPlacePopups = [] { return true; };
  emit item.contextMenuRequested(QPoint(1200, 10));
  EXPECT_TRUE(waitUntil([&] { return controller.contextMenu()->isVisible(); }));
  EXPECT_FALSE(popover.isOpen());
  controller.contextMenu()->hide();
}
