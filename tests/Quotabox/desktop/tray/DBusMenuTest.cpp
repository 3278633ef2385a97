#include <QDBusArgument>
#include <QPointer>

#include "BusPeer.h"
#include "tray/DBusMenuAdaptor.h"
#include "tray/DBusMenuTypes.h"
#include "tray/StatusNotifierItem.h"
#include "tray/TrayMenu.h"

namespace dbusmenu_test {

// A served menu and a host on its own connection, so every call crosses the bus.
struct MenuFixture {
  TrayMenu menu;
  std::vector<int> triggered;
  StatusNotifierItem item{QDBusConnection::sessionBus(), uniqueBusName("NoWatcher")};
  BusPeer host{QStringLiteral("dbusmenu-host")};

  MenuFixture() {
    registerDBusMenuTypes();
    const auto record = [this](int id) { return [this, id] { triggered.push_back(id); }; };
    menu.setEntries({{1, QStringLiteral("사용량 보기"), false, true, record(1)},
                     {2, QStringLiteral("새로고침"), false, true, record(2)},
                     {4, QString(), true, true, {}},
                     {5, QStringLiteral("종료"), false, true, record(5)}});
    item.setMenu(&menu);
  }
  QDBusMessage call(const char* member, const QVariantList& arguments) {
    return host.call(item.serviceName(), StatusNotifierItem::menuPath, "com.canonical.dbusmenu", member, arguments);
  }
  // GetLayout's (revision, layout).
  std::pair<uint, DBusMenuLayoutItem> layout(int parent, int depth, const QStringList& names = {}) {
    const QDBusMessage reply = call("GetLayout", {parent, depth, names});
    EXPECT_EQ(reply.signature(), QStringLiteral("u(ia{sv}av)")) << reply.errorMessage().toStdString();
    if (reply.arguments().size() != 2) return {};
    return {reply.arguments()[0].toUInt(), qdbus_cast<DBusMenuLayoutItem>(reply.arguments()[1])};
  }
  QDBusMessage::MessageType event(int id, const char* eventId) {
    return call("Event", {id, QString::fromLatin1(eventId), QVariant::fromValue(QDBusVariant(0)), 0u}).type();
  }
  QDBusMessage eventGroup(std::initializer_list<int> ids) {
    DBusMenuEventList events;
    for (int id : ids) events.append({id, QStringLiteral("clicked"), QDBusVariant(0), 0});
    return call("EventGroup", {QVariant::fromValue(events)});
  }
};

QStringList labels(const DBusMenuLayoutItem& root) {
  QStringList result;
  for (const DBusMenuLayoutItem& child : root.children) {
    result << (child.properties.value("type").toString() == QLatin1String("separator")
                   ? QStringLiteral("-")
                   : child.properties.value("label").toString());
  }
  return result;
}

constexpr auto kReply = QDBusMessage::ReplyMessage, kError = QDBusMessage::ErrorMessage;

}  // namespace dbusmenu_test

using namespace dbusmenu_test;

TEST(DBusMenuTest, TheItemPointsAtAMenuWhoseLayoutListsTheEntries) {
  MenuFixture f;
  ASSERT_TRUE(f.item.isServed());
  const QVariant menuPath =
      f.host.property(f.item.serviceName(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Menu");
  EXPECT_EQ(qvariant_cast<QDBusObjectPath>(menuPath).path(), QStringLiteral("/MenuBar"));

  // GetLayout's revision is checked where a new layout bumps it.
  const DBusMenuLayoutItem root = f.layout(0, -1).second;
  EXPECT_EQ(root.properties.value("children-display").toString(), QStringLiteral("submenu"));
  EXPECT_EQ(labels(root), QStringList({"사용량 보기", "새로고침", "-", "종료"}));
  EXPECT_EQ(root.children[1].id, 2);
  EXPECT_TRUE(root.children[1].properties.value("enabled").toBool());

  // Depth 0 is the item alone; a property filter keeps only the names asked for.
  EXPECT_TRUE(f.layout(0, 0).second.children.isEmpty());
  const auto filtered = f.layout(0, 1, {QStringLiteral("label")}).second;
  ASSERT_EQ(filtered.children.size(), 4);
  EXPECT_EQ(filtered.children[0].properties.keys(), QStringList{"label"});
  EXPECT_TRUE(filtered.children[2].properties.isEmpty());
  // An entry's own layout has no children.
  EXPECT_EQ(labels(f.layout(5, -1).second), QStringList());

  const QDBusMessage property = f.call("GetProperty", {5, QStringLiteral("label")});
  EXPECT_EQ(qvariant_cast<QDBusVariant>(property.arguments().value(0)).variant().toString(), QStringLiteral("종료"));
  const QDBusMessage group =
      f.call("GetGroupProperties", {QVariant::fromValue(QList<int>{2, 99}), QStringList{"label"}});
  const auto properties = qdbus_cast<DBusMenuItemPropertiesList>(group.arguments().value(0));
  ASSERT_EQ(properties.size(), 1);
  EXPECT_EQ(properties[0].id, 2);
  EXPECT_EQ(properties[0].properties.value("label").toString(), QStringLiteral("새로고침"));

  // Unknown ids are errors, not empty answers.
  EXPECT_EQ(f.call("GetLayout", {42, -1, QStringList()}).type(), kError);
  EXPECT_EQ(f.call("GetProperty", {42, QStringLiteral("label")}).type(), kError);
  EXPECT_EQ(f.call("AboutToShow", {42}).type(), kError);

  // Without a menu the item says so.
  StatusNotifierItem bare(QDBusConnection::sessionBus(), uniqueBusName("NoWatcher2"));
  EXPECT_EQ(bare.menuObjectPath().path(), QStringLiteral("/NO_DBUSMENU"));
}

TEST(DBusMenuTest, ClicksRunEnabledEntriesAndOtherEventsDoNothing) {
  MenuFixture f;
  const std::pair<int, const char*> events[] = {{2, "clicked"}, {1, "hovered"}, {4, "clicked"}};
  for (const auto& [id, name] : events) EXPECT_EQ(f.event(id, name), kReply) << id << name;
  EXPECT_EQ(f.event(77, "clicked"), kError);
  // A disabled entry ignores clicks.
  f.menu.setEnabled(1, false);
  EXPECT_EQ(f.event(1, "clicked"), kReply);
  ASSERT_TRUE(waitUntil([&] { return !f.triggered.empty(); }));
  drainEvents();
  EXPECT_EQ(f.triggered, std::vector<int>{2});

  // EventGroup names the ids it could not deliver; all of them failing is an error.
  const QDBusMessage reply = f.eventGroup({5, 99});
  ASSERT_EQ(reply.type(), kReply);
  EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().value(0)), QList<int>{99});
  EXPECT_EQ(f.eventGroup({99}).type(), kError);
  ASSERT_TRUE(waitUntil([&] { return f.triggered.size() == 2; }));
  EXPECT_EQ(f.triggered, (std::vector<int>{2, 5}));

  // Nothing needs refreshing before the menu shows; unknown ids come back as errors.
  EXPECT_EQ(f.call("AboutToShow", {0}).arguments().value(0), QVariant(false));
  const QDBusMessage group = f.call("AboutToShowGroup", {QVariant::fromValue(QList<int>{0, 1, 13})});
  ASSERT_EQ(group.arguments().size(), 2);
  EXPECT_TRUE(qdbus_cast<QList<int>>(group.arguments()[0]).isEmpty());
  EXPECT_EQ(qdbus_cast<QList<int>>(group.arguments()[1]), QList<int>{13});
}

TEST(DBusMenuTest, NewLayoutsBumpTheRevisionAndStateChangesAreAnnounced) {
  MenuFixture f;
  const uint before = f.layout(0, -1).first;

  // Signals as hosts subscribe to them, with the exact wire signature; each one arriving deletes its marker.
  QPointer<QObject> layoutSeen(new QObject), propertiesSeen(new QObject);
  const auto subscribe = [&](const char* name, const char* signature, QObject* marker) {
    return f.host.bus.connect(f.item.serviceName(), StatusNotifierItem::menuPath, "com.canonical.dbusmenu",
                              QString::fromLatin1(name), QString::fromLatin1(signature), marker, SLOT(deleteLater()));
  };
  ASSERT_TRUE(subscribe("LayoutUpdated", "ui", layoutSeen));
  ASSERT_TRUE(subscribe("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", propertiesSeen));
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
  const auto [same, changed] = f.layout(0, -1);
  EXPECT_EQ(same, before);
  EXPECT_FALSE(changed.children[1].properties.value("enabled").toBool());

  f.menu.setEntries({{5, QStringLiteral("종료"), false, true, {}}});
  EXPECT_EQ(layoutSignals, (std::vector<std::pair<uint, int>>{{before + 1, 0}}));
  EXPECT_TRUE(waitUntil([&] { return layoutSeen.isNull(); }));
  const auto [revision, root] = f.layout(0, -1);
  EXPECT_EQ(revision, before + 1);
  EXPECT_EQ(labels(root), QStringList{"종료"});
  delete layoutSeen.data();
  delete propertiesSeen.data();
}
