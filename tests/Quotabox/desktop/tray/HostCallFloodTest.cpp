#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QImage>

#include "EventLoop.h"
#include "tray/BusBacklog.h"
#include "tray/StatusNotifierItem.h"

// A host (or anything on the bus) may call the item far faster than windows can follow.
namespace {

struct Counted {
  StatusNotifierItem item{QDBusConnection::sessionBus(), QStringLiteral("com.orrisfen.QuotaboxTest.NoWatcher")};
  std::vector<std::pair<QPoint, bool>> toggles;
  std::vector<QPoint> menus;
  Counted() {
    QObject::connect(&item, &TrayItem::activated, [this](QPoint p, bool has) { toggles.emplace_back(p, has); });
    QObject::connect(&item, &TrayItem::contextMenuRequested, [this](QPoint p) { menus.push_back(p); });
  }
  void settle() { drainEvents(); }
};

}  // namespace

TEST(HostCallFloodTest, ABurstOfCallsIsFoldedKeepingTheParityOfToggles) {
  for (const int calls : {1, 2, 3, 4, 1000, 1001}) {
    Counted counted;
    for (int i = 0; i < calls; ++i) counted.item.activate(100 + i, 10);
    EXPECT_EQ(counted.toggles.size(), 1u) << calls << " calls: the first is answered at once";
    counted.settle();
    // The popover ends as open or closed as the calls say, after at most two window changes.
    EXPECT_EQ(counted.toggles.size(), calls % 2 ? 1u : 2u) << calls;
    EXPECT_EQ(counted.toggles.back().first, QPoint(100 + (calls % 2 ? 0 : calls - 1), 10)) << calls;
  }
  // Calls in separate turns are each answered.
  Counted counted;
  for (int i = 0; i < 3; ++i) {
    counted.item.activate(0, 0);
    counted.settle();
  }
  EXPECT_EQ(counted.toggles.size(), 3u);
  EXPECT_FALSE(counted.toggles.back().second);

  // Menu requests of a burst: the first at once, then the last point.
  for (int i = 1; i <= 500; ++i) counted.item.contextMenu(i, 5);
  counted.settle();
  EXPECT_EQ(counted.menus, (std::vector<QPoint>{QPoint(1, 5), QPoint(500, 5)}));
}

TEST(HostCallFloodTest, PixmapsAreHeldBackWhileTheBusConnectionIsBackloggedAsTheBusLibraryMeasures) {
  Counted counted;
  TrayFace face;
  face.image = QImage(30, 18, QImage::Format_ARGB32);
  face.image.fill(Qt::white);
  counted.item.show(face);
  qint64 queued = 0;
  counted.item.backlog = [&] { return queued; };
  EXPECT_EQ(counted.item.iconPixmap().size(), 1);
  queued = StatusNotifierItem::maxBacklogBytes + 1;
  EXPECT_TRUE(counted.item.iconPixmap().isEmpty());
  queued = StatusNotifierItem::maxBacklogBytes;
  EXPECT_EQ(counted.item.iconPixmap().size(), 1);

  // The real measure comes from the bus library's functions, found by name at run time: a wrong
  // name would switch the protections off without a word.
  const QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.isConnected());
  EXPECT_GE(busBacklogBytes(bus), 0);
  EXPECT_TRUE(limitUnreadBytes(bus, 64L << 20));
}
