#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>

#include "EventLoop.h"
#include "TrayTestModel.h"
#include "app/MissingTrayHost.h"
#include "tray/GlyphFace.h"
#include "tray/SwitchingTrayItem.h"
#include "tray/TrayController.h"

class MissingTrayHostTest : public SandboxedTest {
 protected:
  void SetUp() override {
    item = std::make_unique<SwitchingTrayItem>(
        QDBusConnection::sessionBus(), [](SwitchingTrayItem::Kind) { return std::make_unique<FakeTrayItem>(); },
        QStringLiteral("org.example.NoWatcherHere"));
    item->setTrayCheck([this] { return trayPresent; });
    popover = std::make_unique<PopoverWindow>(*data.model, TrayTestModel::labelPages());
    controller =
        std::make_unique<TrayController>(*data.model, *item, *popover, GlyphFace::fromModel, data.clock.clock());
  }

  std::unique_ptr<MissingTrayHost> start() {
    return std::make_unique<MissingTrayHost>(
        *item, *popover, *controller, [this](const QString& line) { lines << line; },
        [this](const QString& text) { notices << text; });
  }

  TrayTestModel data;
  bool trayPresent = false;
  std::unique_ptr<SwitchingTrayItem> item;
  std::unique_ptr<PopoverWindow> popover;
  std::unique_ptr<TrayController> controller;
  QStringList lines;
  QStringList notices;
};

TEST_F(MissingTrayHostTest, WithoutAHostTheUserIsToldOnceAndSeesThePopoverAsAWindow) {
  ASSERT_FALSE(item->hasHost());
  const Qt::WindowFlags trayFlags = popover->windowFlags();
  const auto missing = start();
  EXPECT_EQ(lines, QStringList{MissingTrayHost::message()});
  EXPECT_EQ(notices, QStringList{MissingTrayHost::message()});
  EXPECT_TRUE(popover->isOpen());
  EXPECT_FALSE(popover->windowFlags() & Qt::FramelessWindowHint);
  // A window that loses the focus stays.
  QEvent deactivate(QEvent::ActivationChange);
  QCoreApplication::sendEvent(popover.get(), &deactivate);
  EXPECT_TRUE(popover->isOpen());

  // A tray turns up: the popover gets its tray manners back and stays open.
  trayPresent = true;
  ASSERT_TRUE(
      waitUntil([&] { return item->hasHost(); }, std::chrono::milliseconds(SwitchingTrayItem::hostRecheckMs * 2)));
  EXPECT_EQ(popover->windowFlags(), trayFlags);
  EXPECT_TRUE(popover->isOpen());

  // It goes away again: the window comes back, but the user is not told twice.
  popover->dismiss();
  trayPresent = false;
  item->setTrayCheck([this] { return trayPresent; });
  EXPECT_FALSE(item->hasHost());
  EXPECT_TRUE(popover->isOpen());
  EXPECT_EQ(lines.size(), 1);
  EXPECT_EQ(notices.size(), 1);
}

TEST_F(MissingTrayHostTest, WithAHostNothingIsSaidOrOpened) {
  trayPresent = true;
  item->setTrayCheck([this] { return trayPresent; });
  const auto missing = start();
  EXPECT_TRUE(lines.isEmpty());
  EXPECT_TRUE(notices.isEmpty());
  EXPECT_FALSE(popover->isOpen());
  EXPECT_FALSE(missing->windowed());
}
