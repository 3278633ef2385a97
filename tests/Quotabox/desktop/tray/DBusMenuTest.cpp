#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPointer>

#include "EventLoop.h"
#include "tray/DBusMenuAdaptor.h"
#include "tray/DBusMenuTypes.h"
#include "tray/StatusNotifierItem.h"
#include "tray/TrayMenu.h"

namespace dbusmenu_test {

const QString kInterface = QStringLiteral("com.canonical.dbusmenu");

// A host's own connection, so every call crosses the bus.
struct Host {
  Host() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {}
  ~Host() { QDBusConnection::disconnectFromBus(name); }
  QString name = QStringLiteral("dbusmenu-host");
  QDBusConnection bus;
};

struct MenuFixture {
  TrayMenu menu;
  std::vector<int> triggered;
  StatusNotifierItem item{
      QDBusConnection::sessionBus(),
      QStringLiteral("com.orrisfen.QuotaboxTest.NoWatcher.p%1").arg(QCoreApplication::applicationPid())};
  Host host;

  MenuFixture() {
    registerDBusMenuTypes();
    const auto record = [this](int id) { return [this, id] { triggered.push_back(id); }; };
    menu.setEntries({{1, QStringLiteral("사용량 보기"), false, true, record(1)},
                     {2, QStringLiteral("새로고침"), false, true, record(2)},
                     {4, QString(), true, true, {}},
                     {5, QStringLiteral("종료"), false, true, record(5)}});
    item.setMenu(&menu);
  }

  QDBusMessage call(const QString& member, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        item.serviceName(), QString::fromLatin1(StatusNotifierItem::menuPath), kInterface, member);
    message.setArguments(arguments);
    QDBusPendingCallWatcher watcher(host.bus.asyncCall(message, 3000));
    if (!waitUntil([&] { return watcher.isFinished(); })) return {};
    return watcher.reply();
  }

  // GetLayout's (revision, layout).
  std::pair<uint, DBusMenuLayoutItem> layout(int parent, int depth, const QStringList& names = {}) {
    const QDBusMessage reply = call(QStringLiteral("GetLayout"), {parent, depth, names});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("u(ia{sv}av)"));
    if (reply.arguments().size() != 2) return {};
    return {reply.arguments()[0].toUInt(), qdbus_cast<DBusMenuLayoutItem>(reply.arguments()[1])};
  }

  QDBusMessage event(int id, const char* eventId) {
    return call(QStringLiteral("Event"),
                {id, QString::fromLatin1(eventId), QVariant::fromValue(QDBusVariant(QVariant(0))), 0u});
  }
};

QStringList labels(const DBusMenuLayoutItem& root) {
  QStringList result;
  for (const DBusMenuLayoutItem& child : root.children) {
    result << (child.properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")
                   ? QStringLiteral("-")
                   : child.properties.value(QStringLiteral("label")).toString());
  }
  return result;
}

}  // namespace dbusmenu_test

using namespace dbusmenu_test;

TEST(DBusMenuTest, TheItemPointsAtAMenuWhoseLayoutListsTheEntries) {
  MenuFixture f;
  ASSERT_TRUE(f.item.isServed());
  QDBusMessage get =
      QDBusMessage::createMethodCall(f.item.serviceName(), QStringLiteral("/StatusNotifierItem"),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
  QDBusPendingCallWatcher watcher(f.host.bus.asyncCall(get, 3000));
  ASSERT_TRUE(waitUntil([&] { return watcher.isFinished(); }));
  const QVariant menuPath = qvariant_cast<QDBusVariant>(watcher.reply().arguments().value(0)).variant();
  EXPECT_EQ(qvariant_cast<QDBusObjectPath>(menuPath).path(), QStringLiteral("/MenuBar"));

  const auto [revision, root] = f.layout(0, -1);
  EXPECT_EQ(revision, f.menu.revision());
  EXPECT_EQ(root.id, 0);
  EXPECT_EQ(root.properties.value(QStringLiteral("children-display")).toString(), QStringLiteral("submenu"));
  EXPECT_EQ(labels(root), QStringList({"사용량 보기", "새로고침", "-", "종료"}));
  EXPECT_EQ(root.children[1].id, 2);
  EXPECT_TRUE(root.children[1].properties.value(QStringLiteral("enabled")).toBool());

  // Depth 0 is the item alone; a property filter keeps only the names asked for.
  EXPECT_TRUE(f.layout(0, 0).second.children.isEmpty());
  const auto filtered = f.layout(0, 1, {QStringLiteral("label")}).second;
  ASSERT_EQ(filtered.children.size(), 4);
  EXPECT_EQ(filtered.children[0].properties.keys(), QStringList{"label"});
  EXPECT_TRUE(filtered.children[2].properties.isEmpty());
  // An entry's own layout has no children.
  EXPECT_EQ(labels(f.layout(5, -1).second), QStringList());

  const QDBusMessage property = f.call(QStringLiteral("GetProperty"), {5, QStringLiteral("label")});
  EXPECT_EQ(qvariant_cast<QDBusVariant>(property.arguments().value(0)).variant().toString(), QStringLiteral("종료"));
  const QDBusMessage group =
      f.call(QStringLiteral("GetGroupProperties"), {QVariant::fromValue(QList<int>{2, 99}), QStringList{"label"}});
  const auto properties = qdbus_cast<DBusMenuItemPropertiesList>(group.arguments().value(0));
  ASSERT_EQ(properties.size(), 1);
  EXPECT_EQ(properties[0].id, 2);
  EXPECT_EQ(properties[0].properties.value(QStringLiteral("label")).toString(), QStringLiteral("새로고침"));

  // Unknown ids are errors, not empty answers.
  EXPECT_EQ(f.call(QStringLiteral("GetLayout"), {42, -1, QStringList()}).type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(f.call(QStringLiteral("GetProperty"), {42, QStringLiteral("label")}).type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(f.call(QStringLiteral("AboutToShow"), {42}).type(), QDBusMessage::ErrorMessage);
}

TEST(DBusMenuTest, ClicksRunEnabledEntriesAndOtherEventsDoNothing) {
  MenuFixture f;
  EXPECT_EQ(f.event(2, "clicked").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(f.event(1, "hovered").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(f.event(0, "opened").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(f.event(4, "clicked").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(f.event(77, "clicked").type(), QDBusMessage::ErrorMessage);
  ASSERT_TRUE(waitUntil([&] { return !f.triggered.empty(); }));
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(f.triggered, std::vector<int>{2});

  // A disabled entry ignores clicks.
  f.menu.setEnabled(2, false);
  EXPECT_EQ(f.event(2, "clicked").type(), QDBusMessage::ReplyMessage);

  // EventGroup names the ids it could not deliver; all of them failing is an error.
  DBusMenuEventList events{{5, QStringLiteral("clicked"), QDBusVariant(QVariant(0)), 0},
                           {99, QStringLiteral("clicked"), QDBusVariant(QVariant(0)), 0}};
  const QDBusMessage reply = f.call(QStringLiteral("EventGroup"), {QVariant::fromValue(events)});
  ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().value(0)), QList<int>{99});
  DBusMenuEventList unknown{{99, QStringLiteral("clicked"), QDBusVariant(QVariant(0)), 0}};
  EXPECT_EQ(f.call(QStringLiteral("EventGroup"), {QVariant::fromValue(unknown)}).type(), QDBusMessage::ErrorMessage);
  ASSERT_TRUE(waitUntil([&] { return f.triggered.size() == 2; }));
  EXPECT_EQ(f.triggered, (std::vector<int>{2, 5}));

  // Nothing needs refreshing before the menu shows; unknown ids come back as errors.
  const QDBusMessage about = f.call(QStringLiteral("AboutToShow"), {0});
  EXPECT_EQ(about.arguments().value(0).toBool(), false);
  const QDBusMessage group = f.call(QStringLiteral("AboutToShowGroup"), {QVariant::fromValue(QList<int>{0, 1, 13})});
  ASSERT_EQ(group.arguments().size(), 2);
  EXPECT_TRUE(qdbus_cast<QList<int>>(group.arguments()[0]).isEmpty());
  EXPECT_EQ(qdbus_cast<QList<int>>(group.arguments()[1]), QList<int>{13});
}

TEST(DBusMenuTest, NewLayoutsBumpTheRevisionAndStateChangesAreAnnounced) {
  MenuFixture f;
  const uint before = f.layout(0, -1).first;

  // Signals as hosts subscribe to them, with the exact wire signature; each one arriving
  // deletes its marker.
  auto* layoutMarker = new QObject;
  auto* propertiesMarker = new QObject;
  QPointer<QObject> layoutSeen(layoutMarker);
  QPointer<QObject> propertiesSeen(propertiesMarker);
  const QString service = f.item.serviceName();
  const QString path = QString::fromLatin1(StatusNotifierItem::menuPath);
  ASSERT_TRUE(f.host.bus.connect(service, path, kInterface, QStringLiteral("LayoutUpdated"), QStringLiteral("ui"),
                                 layoutMarker, SLOT(deleteLater())));
  ASSERT_TRUE(f.host.bus.connect(service, path, kInterface, QStringLiteral("ItemsPropertiesUpdated"),
                                 QStringLiteral("a(ia{sv})a(ias)"), propertiesMarker, SLOT(deleteLater())));

  auto* adaptor = f.item.findChild<DBusMenuAdaptor*>();
  ASSERT_NE(adaptor, nullptr);
  std::vector<std::pair<uint, int>> layoutSignals;
  DBusMenuItemPropertiesList updated;
  QObject::connect(adaptor, &DBusMenuAdaptor::LayoutUpdated,
                   [&](uint revision, int parent) { layoutSignals.emplace_back(revision, parent); });
  QObject::connect(adaptor, &DBusMenuAdaptor::ItemsPropertiesUpdated,
                   [&](const DBusMenuItemPropertiesList& props, const DBusMenuItemKeysList&) { updated = props; });

  f.menu.setEnabled(2, false);
  f.menu.setEnabled(2, false);  // no change, no signal
  ASSERT_EQ(updated.size(), 1);
  EXPECT_EQ(updated[0].id, 2);
  EXPECT_EQ(updated[0].properties, (QVariantMap{{QStringLiteral("enabled"), false}}));
  EXPECT_TRUE(waitUntil([&] { return propertiesSeen.isNull(); }));
  // A state change is not a new layout.
  EXPECT_EQ(f.layout(0, -1).first, before);
  EXPECT_FALSE(f.layout(0, -1).second.children[1].properties.value(QStringLiteral("enabled")).toBool());

  f.menu.setEntries({{5, QStringLiteral("종료"), false, true, {}}});
  ASSERT_EQ(layoutSignals.size(), 1u);
  EXPECT_EQ(layoutSignals[0], std::pair(before + 1, 0));
  EXPECT_TRUE(waitUntil([&] { return layoutSeen.isNull(); }));
  const auto [revision, root] = f.layout(0, -1);
  EXPECT_EQ(revision, before + 1);
  EXPECT_EQ(labels(root), QStringList{"종료"});
  delete layoutSeen.data();
  delete propertiesSeen.data();
}

TEST(DBusMenuTest, AnItemWithoutAMenuSaysSo) {
  StatusNotifierItem item(QDBusConnection::sessionBus(), QStringLiteral("com.orrisfen.QuotaboxTest.NoWatcher2"));
  EXPECT_EQ(item.menuObjectPath().path(), QStringLiteral("/NO_DBUSMENU"));
  TrayMenu menu;
  item.setMenu(&menu);
  EXPECT_EQ(item.menuObjectPath().path(), QStringLiteral("/MenuBar"));
}
