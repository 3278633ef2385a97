#include <QDBusConnectionInterface>

#include "BusPeer.h"
#include "TrayTestModel.h"
#include "platform/PanelColorScheme.h"
#include "platform/SingleInstance.h"
#include "tray/StatusNotifierItem.h"
#include "tray/StatusNotifierItemAdaptor.h"
#include "tray/SwitchingTrayItem.h"

namespace {

TrayFace face(QColor color, const QString& label) {
  const auto filled = [&](int scale) {
    QImage image(30 * scale, 18 * scale, QImage::Format_ARGB32);
    image.fill(color);
    return image;
  };
  return {filled(1), filled(2), label, QStringLiteral("C 100% · G 100%"), QStringLiteral("사용량: ") + label, {}};
}

const char* const kSni = "org.kde.StatusNotifierItem";

}  // namespace

TEST(StatusNotifierItemTest, ServesTheFaceAndRegistersAgainWhenTheHostRestarts) {
  registerSniTypes();
  const QString watcherName = uniqueBusName("Watcher");
  QStringList registered, again;
  FakeBusObject watcher(FakeBusObject::recording("RegisterStatusNotifierItem", registered));
  BusPeer host("sni-host", "/StatusNotifierWatcher", watcher, watcherName);

  StatusNotifierItem item(QDBusConnection::sessionBus(), watcherName);
  ASSERT_TRUE(item.isServed());
  ASSERT_TRUE(waitUntil([&] { return registered == QStringList{item.serviceName()}; }));

  int newIcons = 0, newLabels = 0;
  auto* adaptor = item.findChild<StatusNotifierItemAdaptor*>();
  ASSERT_NE(adaptor, nullptr);
  QObject::connect(adaptor, &StatusNotifierItemAdaptor::NewIcon, [&] { ++newIcons; });
  QObject::connect(adaptor, &StatusNotifierItemAdaptor::XAyatanaNewLabel, [&] { ++newLabels; });
  item.show(face(QColor(255, 149, 0), QStringLiteral("C 85% · G 12%")));
  // Same picture, new text: the icon is not sent again.
  item.show(face(QColor(255, 149, 0), QStringLiteral("C 86% · G 12%")));
  EXPECT_EQ(std::pair(newIcons, newLabels), std::pair(1, 2));

  const auto property = [&](const char* name) {
    return host.property(item.serviceName(), "/StatusNotifierItem", kSni, name);
  };
  const auto pixmaps = qdbus_cast<SniPixmapList>(property("IconPixmap"));
  ASSERT_EQ(pixmaps.size(), 2);
  EXPECT_EQ(std::pair(pixmaps[1].width, pixmaps[1].height), std::pair(60, 36));
  // ARGB in network byte order: alpha first.
  EXPECT_EQ(pixmaps[0].bytes.left(4), QByteArray::fromHex("ffff9500"));
  EXPECT_EQ(qdbus_cast<SniToolTip>(property("ToolTip")).description, QStringLiteral("사용량: C 86% · G 12%"));
  EXPECT_EQ(property("XAyatanaLabel").toString(), QStringLiteral("C 86% · G 12%"));

  // The host calls Activate with the pointer position; (0, 0) means it has none.
  std::vector<std::pair<QPoint, bool>> activations;
  QObject::connect(&item, &TrayItem::activated, [&](QPoint p, bool has) { activations.emplace_back(p, has); });
  for (const QPoint at : {QPoint(1200, 12), QPoint(0, 0)}) {
    EXPECT_EQ(host.call(item.serviceName(), "/StatusNotifierItem", kSni, "Activate", {at.x(), at.y()}).type(),
              QDBusMessage::ReplyMessage);
  }
  EXPECT_EQ(activations, (std::vector<std::pair<QPoint, bool>>{{{1200, 12}, true}, {{0, 0}, false}}));
  EXPECT_EQ(item.anchorPoint(), QPoint(1200, 12));

  // The host restarts: a new owner of the watcher name gets the item registered again.
  host.bus.unregisterService(watcherName);
  FakeBusObject secondWatcher(FakeBusObject::recording("RegisterStatusNotifierItem", again));
  BusPeer restarted("sni-host-restarted", "/StatusNotifierWatcher", secondWatcher, watcherName);
  EXPECT_TRUE(waitUntil([&] { return again == QStringList{item.serviceName()}; }));
}

TEST(SwitchingTrayItemTest, FollowsTheWatcherAndCarriesTheFaceOver) {
  const QString watcherName = uniqueBusName("SwitchWatcher");
  std::vector<SwitchingTrayItem::Kind> built;
  std::vector<FakeTrayItem*> items;
  const auto factory = [&](SwitchingTrayItem::Kind kind) {
    built.push_back(kind);
    return std::unique_ptr<TrayItem>(items.emplace_back(new FakeTrayItem));
  };
  SwitchingTrayItem item(QDBusConnection::sessionBus(), factory, watcherName);
  ASSERT_EQ(built, std::vector{SwitchingTrayItem::Kind::systemTray});
  item.show(face(Qt::white, QStringLiteral("C 40%")));
  items.back()->point = QPoint(10, 790);

  BusPeer host(QStringLiteral("switch-host"));
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
  const std::pair<QVariant, Value> values[] = {
      {wrapped(1u), true},
      {wrapped(wrapped(2u)), false},
      {wrapped(0u), Value()},
      {wrapped(QStringLiteral("dark")), Value()},
      {wrapped(wrapped(wrapped(wrapped(1u)))), Value()},  // nested too deep
  };
  for (const auto& [value, dark] : values) EXPECT_EQ(PanelColorScheme::darkFromPortalValue(value), dark);

  // Nobody answers: dark, at once.
  EXPECT_TRUE(PanelColorScheme(QDBusConnection::sessionBus(), uniqueBusName("NoPortal")).isDark());

  const QString portalName = uniqueBusName("Portal");
  QStringList asked;
  FakeBusObject portal(FakeBusObject::recording("ReadOne", asked, wrapped(2u)));
  BusPeer portalBus("portal", "/org/freedesktop/portal/desktop", portal, portalName);
  PanelColorScheme light(QDBusConnection::sessionBus(), portalName);
  EXPECT_TRUE(waitUntil([&] { return !light.isDark(); }));

  // The desktop switches to dark: the portal's signal reaches the scheme.
  QDBusMessage changed =
      QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                 QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
  changed << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme") << wrapped(1u);
  portalBus.bus.send(changed);
  EXPECT_TRUE(waitUntil([&] { return light.isDark(); }));
}

// Reaching a running first start is covered end to end; this is the case a real run cannot stage.
TEST(SingleInstanceTest, AskingAfterTheFirstRunEndedFails) {
  BusPeer firstBus(QStringLiteral("first-instance")), secondBus(QStringLiteral("second-instance"));
  auto first = std::make_unique<SingleInstance>(firstBus.bus);
  ASSERT_EQ(first->claim(), SingleInstance::Claim::owned);
  EXPECT_EQ(SingleInstance(secondBus.bus).claim(), SingleInstance::Claim::taken);

  // The first run ends and gives the name up; asking now fails instead of pretending it worked.
  first.reset();
  EXPECT_TRUE(waitUntil([&] {
    return !secondBus.bus.interface()->isServiceRegistered(QString::fromLatin1(SingleInstance::serviceName)).value();
  }));
  EXPECT_FALSE(SingleInstance::askRunningToOpen(secondBus.bus));
}
