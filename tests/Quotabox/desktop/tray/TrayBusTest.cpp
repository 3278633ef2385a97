#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>

#include "EventLoop.h"
#include "TrayTestModel.h"
#include "platform/PanelColorScheme.h"
#include "platform/SingleInstance.h"
#include "tray/StatusNotifierItem.h"
#include "tray/StatusNotifierItemAdaptor.h"
#include "tray/SwitchingTrayItem.h"

namespace {

// Names unique to this process: ctest runs the cases of a folder in parallel on one session bus.
QString uniqueName(const char* base) {
  return QStringLiteral("com.orrisfen.QuotaboxTest.%1.p%2")
      .arg(QLatin1String(base))
      .arg(QCoreApplication::applicationPid());
}

// Calls without blocking the thread that serves the callee.
QDBusMessage callAsync(const QDBusConnection& bus, const QDBusMessage& call) {
  QDBusPendingCallWatcher watcher(bus.asyncCall(call, 3000));
  if (!waitUntil([&] { return watcher.isFinished(); })) return {};
  return watcher.reply();
}

QVariant property(const QDBusConnection& bus, const QString& service, const char* name) {
  QDBusMessage get =
      QDBusMessage::createMethodCall(service, QStringLiteral("/StatusNotifierItem"),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
  const QDBusMessage reply = callAsync(bus, get);
  if (reply.type() != QDBusMessage::ReplyMessage) return {};
  return qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
}

// A bus service object answering one method: remembers each call's first argument and replies
// with `answer`, as a StatusNotifierWatcher or the desktop portal's Settings would.
class FakeService : public QDBusVirtualObject {
 public:
  explicit FakeService(const char* method, QVariant answer = {})
      : method(QLatin1String(method)), answer(std::move(answer)) {}
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != method) return false;
    received << message.arguments().value(0).toString();
    connection.send(answer.isValid() ? message.createReply(answer) : message.createReply());
    return true;
  }
  QString method;
  QVariant answer;
  QStringList received;
};

// Another client of the session bus, as a tray host or a portal would be; it leaves the bus with the test.
struct Peer {
  explicit Peer(const char* connection)
      : name(QString::fromLatin1(connection)), bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {}
  // Also serves `object` at `path` under the bus name `service`.
  Peer(const char* connection, const char* path, FakeService& object, const QString& service) : Peer(connection) {
    EXPECT_TRUE(bus.registerVirtualObject(QString::fromLatin1(path), &object));
    EXPECT_TRUE(bus.registerService(service));
  }
  ~Peer() { QDBusConnection::disconnectFromBus(name); }
  QString name;
  QDBusConnection bus;
};

TrayFace face(QColor color, const QString& label) {
  const auto filled = [&](int scale) {
    QImage image(30 * scale, 18 * scale, QImage::Format_ARGB32);
    image.fill(color);
    return image;
  };
  return {filled(1), filled(2), label, QStringLiteral("C 100% · G 100%"), QStringLiteral("사용량: ") + label, {}};
}

}  // namespace

TEST(StatusNotifierItemTest, ServesTheFaceAndRegistersAgainWhenTheHostRestarts) {
  registerSniTypes();
  const QString watcherName = uniqueName("Watcher");
  FakeService watcher("RegisterStatusNotifierItem");
  Peer host("sni-host", "/StatusNotifierWatcher", watcher, watcherName);

  StatusNotifierItem item(QDBusConnection::sessionBus(), watcherName);
  ASSERT_TRUE(item.isServed());
  ASSERT_TRUE(waitUntil([&] { return watcher.received == QStringList{item.serviceName()}; }));

  int newIcons = 0;
  int newLabels = 0;
  auto* adaptor = item.findChild<StatusNotifierItemAdaptor*>();
  ASSERT_NE(adaptor, nullptr);
  QObject::connect(adaptor, &StatusNotifierItemAdaptor::NewIcon, [&] { ++newIcons; });
  QObject::connect(adaptor, &StatusNotifierItemAdaptor::XAyatanaNewLabel, [&] { ++newLabels; });

  item.show(face(QColor(255, 149, 0), QStringLiteral("C 85% · G 12%")));
  EXPECT_EQ(newIcons, 1);
  // Same picture, new text: the icon is not sent again.
  item.show(face(QColor(255, 149, 0), QStringLiteral("C 86% · G 12%")));
  EXPECT_EQ(newIcons, 1);
  EXPECT_EQ(newLabels, 2);

  const auto pixmaps = qdbus_cast<SniPixmapList>(property(host.bus, item.serviceName(), "IconPixmap"));
  ASSERT_EQ(pixmaps.size(), 2);
  EXPECT_EQ(std::pair(pixmaps[1].width, pixmaps[1].height), std::pair(60, 36));
  // ARGB in network byte order: alpha first.
  EXPECT_EQ(pixmaps[0].bytes.left(4), QByteArray::fromHex("ffff9500"));

  const auto toolTip = qdbus_cast<SniToolTip>(property(host.bus, item.serviceName(), "ToolTip"));
  EXPECT_EQ(toolTip.description, QStringLiteral("사용량: C 86% · G 12%"));
  EXPECT_EQ(property(host.bus, item.serviceName(), "XAyatanaLabel").toString(), QStringLiteral("C 86% · G 12%"));
  EXPECT_EQ(property(host.bus, item.serviceName(), "ItemIsMenu").toBool(), false);

  // The host calls Activate with the pointer position; (0, 0) means it has none.
  std::vector<std::pair<QPoint, bool>> activations;
  QObject::connect(&item, &TrayItem::activated, [&](QPoint p, bool has) { activations.emplace_back(p, has); });
  for (const auto& [x, y] : {std::pair(1200, 12), std::pair(0, 0)}) {
    QDBusMessage activate =
        QDBusMessage::createMethodCall(item.serviceName(), QStringLiteral("/StatusNotifierItem"),
                                       QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    activate << x << y;
    EXPECT_EQ(callAsync(host.bus, activate).type(), QDBusMessage::ReplyMessage);
  }
  ASSERT_EQ(activations.size(), 2u);
  EXPECT_EQ(activations[0], std::pair(QPoint(1200, 12), true));
  EXPECT_FALSE(activations[1].second);
  EXPECT_EQ(item.anchorPoint(), QPoint(1200, 12));

  // The host restarts: a new owner of the watcher name gets the item registered again.
  host.bus.unregisterService(watcherName);
  FakeService secondWatcher("RegisterStatusNotifierItem");
  Peer restarted("sni-host-restarted", "/StatusNotifierWatcher", secondWatcher, watcherName);
  EXPECT_TRUE(waitUntil([&] { return secondWatcher.received == QStringList{item.serviceName()}; }));
}

TEST(SwitchingTrayItemTest, FollowsTheWatcherAndCarriesTheFaceOver) {
  const QString watcherName = uniqueName("SwitchWatcher");
  std::vector<SwitchingTrayItem::Kind> built;
  std::vector<FakeTrayItem*> items;
  SwitchingTrayItem item(
      QDBusConnection::sessionBus(),
      [&](SwitchingTrayItem::Kind kind) {
        built.push_back(kind);
        return std::unique_ptr<TrayItem>(items.emplace_back(new FakeTrayItem));
      },
      watcherName);
  ASSERT_EQ(built, std::vector{SwitchingTrayItem::Kind::systemTray});
  item.show(face(Qt::white, QStringLiteral("C 40%")));
  items.back()->point = QPoint(10, 790);

  Peer host("switch-host");
  ASSERT_TRUE(host.bus.registerService(watcherName));
  ASSERT_TRUE(waitUntil([&] { return item.kind() == SwitchingTrayItem::Kind::statusNotifier; }));
  ASSERT_EQ(items.size(), 2u);
  ASSERT_EQ(items.back()->shown.size(), 1u);
  EXPECT_EQ(items.back()->shown.back().label, QStringLiteral("C 40%"));
  // The new item knows no point yet; the old one's is kept for opening the popover.
  EXPECT_EQ(item.anchorPoint(), QPoint(10, 790));

  int activations = 0;
  QObject::connect(&item, &TrayItem::activated, [&] { ++activations; });
  emit items.back()->activated(QPoint(5, 5), true);
  EXPECT_EQ(activations, 1);

  host.bus.unregisterService(watcherName);
  ASSERT_TRUE(waitUntil([&] { return item.kind() == SwitchingTrayItem::Kind::systemTray; }));
  EXPECT_EQ(built.size(), 3u);
  EXPECT_EQ(item.anchorPoint(), QPoint(5, 5));
}

TEST(PanelColorSchemeTest, FollowsThePortalAndStaysDarkWithoutPreference) {
  using Value = std::optional<bool>;
  const auto wrapped = [](const QVariant& inner) { return QVariant::fromValue(QDBusVariant(inner)); };
  EXPECT_EQ(PanelColorScheme::darkFromPortalValue(wrapped(1u)), Value(true));
  EXPECT_EQ(PanelColorScheme::darkFromPortalValue(wrapped(wrapped(2u))), Value(false));
  EXPECT_EQ(PanelColorScheme::darkFromPortalValue(wrapped(0u)), Value());
  EXPECT_EQ(PanelColorScheme::darkFromPortalValue(wrapped(QStringLiteral("dark"))), Value());
  EXPECT_EQ(PanelColorScheme::darkFromPortalValue(wrapped(wrapped(wrapped(wrapped(1u))))), Value());

  // Nobody answers: dark, at once.
  PanelColorScheme absent(QDBusConnection::sessionBus(), uniqueName("NoPortal"));
  EXPECT_TRUE(absent.isDark());

  const QString portalName = uniqueName("Portal");
  FakeService portal("ReadOne", QVariant::fromValue(QDBusVariant(QVariant::fromValue(2u))));
  Peer portalBus("portal", "/org/freedesktop/portal/desktop", portal, portalName);
  PanelColorScheme light(QDBusConnection::sessionBus(), portalName);
  EXPECT_TRUE(waitUntil([&] { return !light.isDark(); }));

  // The desktop switches to dark: the portal's signal reaches the scheme.
  QDBusMessage changed =
      QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                 QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
  changed << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
          << QVariant::fromValue(QDBusVariant(QVariant::fromValue(1u)));
  portalBus.bus.send(changed);
  EXPECT_TRUE(waitUntil([&] { return light.isDark(); }));
}

// Reaching a running first start is covered end to end; this is the case a real run cannot stage.
TEST(SingleInstanceTest, AskingAfterTheFirstRunEndedFails) {
  Peer firstBus("first-instance");
  Peer secondBus("second-instance");
  auto first = std::make_unique<SingleInstance>(firstBus.bus);
  ASSERT_EQ(first->claim(), SingleInstance::Claim::owned);
  SingleInstance second(secondBus.bus);
  EXPECT_EQ(second.claim(), SingleInstance::Claim::taken);

  // The first run ends and gives the name up; asking now fails instead of pretending it worked.
  first.reset();
  EXPECT_TRUE(waitUntil([&] {
    return !secondBus.bus.interface()->isServiceRegistered(QString::fromLatin1(SingleInstance::serviceName)).value();
  }));
  EXPECT_FALSE(SingleInstance::askRunningToOpen(secondBus.bus));
}
