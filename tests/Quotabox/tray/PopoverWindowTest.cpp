#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "TrayTestModel.h"

namespace {

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

  (*content)->setFixedHeight(180);
  ASSERT_TRUE(waitUntil([&] { return popover.height() == 180; }));
  EXPECT_EQ(popover.geometry().top(), belowPanel.y());

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
