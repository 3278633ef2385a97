#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "TrayTestModel.h"
#include "tray/PopoverPlacement.h"
#include "tray/PopoverWindowFitter.h"

namespace {

// A 1280 x 800 screen whose top 30 pixels hold the panel.
const QRectF available(0, 30, 1280, 770);

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
};

}  // namespace

TEST_F(PopoverWindowTest, HeightFollowsTheContentWithTheTraySideEdgeFixed) {
  PopoverWindow popover(*data.model, growingPages());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_GE(screen.height(), 500);
  const QPoint belowPanel(screen.center().x(), screen.top() + 10);
  popover.openAt(belowPanel);
  ASSERT_TRUE(popover.isOpen());
  EXPECT_EQ(popover.fixedEdge(), PopoverEdge::top);
  EXPECT_EQ(popover.geometry().top(), belowPanel.y());
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 300; }));

  // Taller than the screen: the window stops at the available area and the page scrolls.
  (*content)->setFixedHeight(screen.height() * 3);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == screen.height(); }));
  EXPECT_TRUE(screen.contains(popover.geometry()));
  popover.dismiss();

  // Opened from a panel at the bottom, the bottom edge stays at the point.
  const QPoint abovePanel(screen.center().x(), screen.bottom() - 5);
  popover.openAt(abovePanel);
  EXPECT_EQ(popover.fixedEdge(), PopoverEdge::bottom);
  (*content)->setFixedHeight(250);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 250; }));
  EXPECT_EQ(popover.geometry().bottom() + 1, abovePanel.y());
}

TEST_F(PopoverWindowTest, EscapeClosesTheUsagePageOnlyAndClosingResetsTheModel) {
  PopoverWindow popover(*data.model, TrayTestModel::labelPages());
  int opened = 0;
  int closed = 0;
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
}

TEST_F(PopoverWindowTest, ClosesOnLosingActivationAndIgnoresTheSameClick) {
  PopoverWindow popover(*data.model, TrayTestModel::labelPages());
  popover.openAt(QPoint(100, 10));
  ASSERT_TRUE(waitUntil([&] { return popover.isActiveWindow(); }));

  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(waitUntil([&] { return !popover.isOpen(); }));
  EXPECT_TRUE(popover.justClosedByDeactivation(10000));
  EXPECT_FALSE(popover.justClosedByDeactivation(0));
}

TEST(PopoverPlacementTest, TouchesThePointFromTheSideOfTheNearerScreenHalf) {
  struct Case {
    const char* name;
    QPointF point;
    QRectF frame;
    PopoverEdge edge;
  };
  const Case cases[] = {
      {"upper half opens below", {640, 30}, {460, 30, 360, 400}, PopoverEdge::top},
      {"lower half opens above", {640, 790}, {460, 390, 360, 400}, PopoverEdge::bottom},
      {"right corner is clamped", {1279, 30}, {920, 30, 360, 400}, PopoverEdge::top},
      {"left corner is clamped", {3, 790}, {0, 390, 360, 400}, PopoverEdge::bottom},
      {"point above the area is clamped down", {640, 5}, {460, 30, 360, 400}, PopoverEdge::top},
  };
  for (const Case& c : cases) {
    const PopoverPlacement placement = PopoverPlacement::place(c.point, {360, 400}, available);
    EXPECT_EQ(placement.frame, c.frame) << c.name;
    EXPECT_EQ(placement.fixedEdge, c.edge) << c.name;
  }
}

TEST(PopoverPlacementTest, ContentTallerThanTheAreaIsCutToIt) {
  const PopoverPlacement placement = PopoverPlacement::place({640, 30}, {360, 2000}, available);
  EXPECT_EQ(placement.frame, QRectF(460, 30, 360, 770));
}

TEST(PopoverWindowFitterTest, IgnoresFirstLayoutAndSubPixelChanges) {
  const QRectF frame(460, 30, 360, 400);
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 0, available, PopoverEdge::top));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 1, available, PopoverEdge::top));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 400.5, available, PopoverEdge::top));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 399.5, available, PopoverEdge::bottom));
  EXPECT_TRUE(PopoverWindowFitter::fit(frame, 400.6, available, PopoverEdge::top));
}

TEST(PopoverWindowFitterTest, KeepsTheTraySideEdgeWhileShrinkingAndGrowing) {
  const QRectF below(460, 30, 360, 400);
  EXPECT_EQ(PopoverWindowFitter::fit(below, 250, available, PopoverEdge::top), QRectF(460, 30, 360, 250));
  EXPECT_EQ(PopoverWindowFitter::fit(below, 600, available, PopoverEdge::top), QRectF(460, 30, 360, 600));

  const QRectF above(460, 390, 360, 400);  // bottom edge at 790
  EXPECT_EQ(PopoverWindowFitter::fit(above, 250, available, PopoverEdge::bottom), QRectF(460, 540, 360, 250));
  EXPECT_EQ(PopoverWindowFitter::fit(above, 600, available, PopoverEdge::bottom), QRectF(460, 190, 360, 600));
}

TEST(PopoverWindowFitterTest, NeverLeavesTheAvailableArea) {
  // Taller than the area: the window takes the whole height and the content scrolls.
  EXPECT_EQ(PopoverWindowFitter::fit({460, 30, 360, 400}, 5000, available, PopoverEdge::top),
            QRectF(460, 30, 360, 770));
  // Growing below would cross the bottom: the window moves up rather than leave the screen.
  EXPECT_EQ(PopoverWindowFitter::fit({460, 300, 360, 300}, 600, available, PopoverEdge::top),
            QRectF(460, 200, 360, 600));
  // Without a known area (the compositor places the window) only the height follows.
  EXPECT_EQ(PopoverWindowFitter::fit({0, 0, 360, 400}, 5000, QRectF(), PopoverEdge::top), QRectF(0, 0, 360, 5000));
}
