#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "TrayTestModel.h"
#include "tray/PopoverPlacement.h"
#include "tray/PopoverPlacer.h"

namespace {

// Records what the popover asks of the compositor; the test answers look-ups itself.
class FakePlacer : public PopoverPlacer {
 public:
  void lookUp(std::optional<QPointF> point, AreaHandler done) override {
    lookedUpAt = point;
    pending = std::move(done);
  }
  void moveTo(QPoint topLeft) override { moves.push_back(topLeft); }
  void cancel() override { pending = nullptr, ++cancels; }
  void answer(std::optional<PopoverArea> area) { std::exchange(pending, nullptr)(area); }

  AreaHandler pending;
  std::optional<QPointF> lookedUpAt;
  std::vector<QPoint> moves;
  int cancels = 0;
};

class PopoverWindowTest : public SandboxedTest {
 protected:
  TrayTestModel data;
  // The usage page's content, whose height a test changes as a card that gains or loses a banner would.
  std::shared_ptr<QWidget*> content = std::make_shared<QWidget*>();

  PopoverWindow::Pages growingPages() {
    PopoverWindow::Pages pages = TrayTestModel::labelPages();
    pages.usage = [content = content](AppModel&, QWidget* parent) -> QWidget* {
      auto* page = new QWidget(parent);
      auto* layout = new QVBoxLayout(page);
      layout->setContentsMargins(0, 0, 0, 0);
      layout->addWidget(*content = new QWidget);
      (*content)->setFixedHeight(300);
      return page;
    };
    return pages;
  }

  static void press(QWidget& widget, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
  }
  static QRect screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

}  // namespace

TEST_F(PopoverWindowTest, OpensBelowTheIconAndNeverCoversItWhileTheHeightChanges) {
  PopoverWindow popover(*data.model, growingPages());
  const QRect area = screen();
  ASSERT_GE(area.height(), 500);
  // An icon in the top-right corner of a tray that reserves no strut.
  const QRect icon(area.right() - 23, area.top(), 24, 24);
  popover.setIconGeometry([icon] { return std::optional(icon); });
  popover.openAt(icon.center());
  ASSERT_TRUE(popover.isOpen());
  EXPECT_EQ(popover.fixedEdge(), PopoverEdge::top);
  EXPECT_EQ(popover.geometry().top(), icon.bottom() + 1);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 300; }));

  // Taller than the screen: the window stops short of the bottom by the margin and the page scrolls.
  (*content)->setFixedHeight(area.height() * 3);
  const int room = area.bottom() + 1 - (icon.bottom() + 1) - static_cast<int>(PopoverPlacement::margin);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == room; }));
  EXPECT_TRUE(area.contains(popover.geometry()));
  EXPECT_FALSE(popover.geometry().intersects(icon));
  // An overlong page scrolls by keyboard and wheel.
  QScrollBar* bar = popover.scrollArea()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  const auto after = [&](int key) { return press(popover, key), bar->value(); };
  EXPECT_GT(after(Qt::Key_PageDown), 0);
  EXPECT_EQ(after(Qt::Key_End), bar->maximum());
  EXPECT_EQ(after(Qt::Key_Home), 0);
  EXPECT_GT(after(Qt::Key_Down), 0);
  EXPECT_EQ(after(Qt::Key_Home), 0);  // the wheel below starts from the top
  QWidget* viewport = popover.scrollArea()->viewport();
  const QPointF inside(viewport->width() / 2.0, viewport->height() / 2.0);
  QWheelEvent wheel(inside, viewport->mapToGlobal(inside), {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  EXPECT_GT(bar->value(), 0);
  popover.dismiss();

  // Opened from a point near the bottom edge (a panel there), the bottom edge stays at the point.
  popover.setIconGeometry(nullptr);
  const QPoint abovePanel(area.center().x(), area.bottom() - 5);
  popover.openAt(abovePanel);
  EXPECT_EQ(popover.fixedEdge(), PopoverEdge::bottom);
  (*content)->setFixedHeight(200);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 200; }));
  EXPECT_EQ(popover.geometry().bottom() + 1, abovePanel.y());
}

TEST_F(PopoverWindowTest, WithAPlacerItShowsOnceTheCompositorAnsweredAndAsksItToMoveTheWindow) {
  PopoverWindow popover(*data.model, growingPages());
  auto owned = std::make_unique<FakePlacer>();
  FakePlacer& placer = *owned;
  popover.setPlacer(std::move(owned));

  // A 720-px output with a 30-px bar on top; the click came from the bar's right end.
  popover.openAt(QPoint(1260, 15));
  EXPECT_FALSE(popover.isOpen());
  EXPECT_EQ(placer.lookedUpAt, QPointF(1260, 15));
  placer.answer(PopoverArea{{0, 0, 1280, 720}, {0, 30, 1280, 690}});
  ASSERT_TRUE(popover.isOpen());
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 300; }));
  ASSERT_EQ(placer.moves, std::vector{QPoint(912, 30)});

  // The settings page of a small screen: capped, and the top edge did not move, so no new move.
  (*content)->setFixedHeight(2000);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 682; }));
  drainEvents();
  EXPECT_EQ(placer.moves.size(), 1u);
  popover.dismiss();
  EXPECT_GE(placer.cancels, 1);

  // A bar at the bottom: growing moves the window up, its bottom edge stays above the bar.
  placer.moves.clear();
  popover.openAt(QPoint(1260, 705));
  placer.answer(PopoverArea{{0, 0, 1280, 720}, {0, 0, 1280, 690}});
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 300; }));
  (*content)->setFixedHeight(400);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 400; }));
  EXPECT_EQ(placer.moves, (std::vector{QPoint(912, 390), QPoint(912, 290)}));
  popover.dismiss();

  // Closed before the compositor answered: the answer opens nothing.
  placer.moves.clear();
  popover.openAt(QPoint(1260, 15));
  const auto late = placer.pending;
  popover.dismiss();
  ASSERT_TRUE(late);
  late(PopoverArea{{0, 0, 1280, 720}, {0, 30, 1280, 690}});
  EXPECT_FALSE(popover.isOpen());
  // No answer at all: the popover still opens, where the compositor puts it, and nothing is moved.
  popover.openAt(QPoint(1260, 15));
  placer.answer(std::nullopt);
  EXPECT_TRUE(popover.isOpen());
  drainEvents();
  EXPECT_TRUE(placer.moves.empty());
}

TEST_F(PopoverWindowTest, EscapeOnTheUsagePageOrLosingActivationClosesAndResetsTheModel) {
  PopoverWindow popover(*data.model, TrayTestModel::labelPages());
  int opened = 0, closed = 0;
  QObject::connect(&popover, &PopoverWindow::opened, [&] { ++opened; });
  QObject::connect(&popover, &PopoverWindow::closed, [&] { ++closed; });

  data.model->setPage(AppModel::Page::settings);
  popover.openAt(std::nullopt);
  ASSERT_EQ(popover.page()->objectName(), QStringLiteral("settingsPage"));
  // On the settings page Escape is the back button's, not the window's.
  press(popover, Qt::Key_Escape);
  EXPECT_TRUE(popover.isOpen());

  data.model->setPage(AppModel::Page::usage);
  EXPECT_EQ(popover.page()->objectName(), QStringLiteral("usagePage"));
  data.model->toggleTrend(ServiceID::claude, "five_hour");
  press(popover, Qt::Key_Escape);
  EXPECT_FALSE(popover.isOpen());
  EXPECT_EQ(popover.page(), nullptr);
  EXPECT_TRUE(data.model->expandedTrends().empty());
  EXPECT_EQ(std::pair(opened, closed), std::pair(1, 1));

  // Another window taking the activation closes it too; the tray ignores the click that did so.
  popover.openAt(QPoint(100, 10));
  ASSERT_TRUE(waitUntil([&] { return popover.isActiveWindow(); }));

  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(waitUntil([&] { return !popover.isOpen(); }));
  EXPECT_TRUE(popover.justClosedByDeactivation(10000));
  EXPECT_FALSE(popover.justClosedByDeactivation(0));
}
