#include "tray/DBusMenuAdaptor.h"

#include <QPointer>
#include <QTimer>

#include "tray/TrayMenu.h"

namespace {
const QString kErrorName = QStringLiteral("com.canonical.dbusmenu.Error.UnknownId");

QVariantMap filtered(QVariantMap properties, const QStringList& names) {
  if (names.isEmpty()) return properties;
  for (auto it = properties.begin(); it != properties.end();) {
    it = names.contains(it.key()) ? std::next(it) : properties.erase(it);
  }
  return properties;
}

QVariantMap entryProperties(const TrayMenu::Entry& entry) {
  QVariantMap properties;
  if (entry.separator) {
    properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
    return properties;
  }
  properties.insert(QStringLiteral("label"), entry.label);
  properties.insert(QStringLiteral("enabled"), entry.enabled);
  properties.insert(QStringLiteral("visible"), true);
  return properties;
}
}  // namespace

DBusMenuAdaptor::DBusMenuAdaptor(DBusMenuObject* parent, TrayMenu& menu)
    : QDBusAbstractAdaptor(parent), m_object(parent), m_menu(menu) {
  registerDBusMenuTypes();
  connect(&m_menu, &TrayMenu::layoutChanged, this, [this](uint revision) { emit LayoutUpdated(revision, 0); });
  connect(&m_menu, &TrayMenu::enabledChanged, this, [this](int id, bool enabled) {
    emit ItemsPropertiesUpdated({{id, {{QStringLiteral("enabled"), enabled}}}}, {});
  });
}

bool DBusMenuAdaptor::knows(int id) const { return id == 0 || m_menu.entry(id) != nullptr; }

std::optional<QVariantMap> DBusMenuAdaptor::properties(int id, const QStringList& names) const {
  if (id == 0) return filtered({{QStringLiteral("children-display"), QStringLiteral("submenu")}}, names);
  const TrayMenu::Entry* entry = m_menu.entry(id);
  if (!entry) return std::nullopt;
  return filtered(entryProperties(*entry), names);
}

std::optional<DBusMenuLayoutItem> DBusMenuAdaptor::layout(int parentId, int depth, const QStringList& names) const {
  const auto own = properties(parentId, names);
  if (!own) return std::nullopt;
  DBusMenuLayoutItem item{parentId, *own, {}};
  // Only the menu itself has children; entries are leaves.
  if (parentId == 0 && depth != 0) {
    for (const TrayMenu::Entry& entry : m_menu.entries()) {
      item.children.append({entry.id, filtered(entryProperties(entry), names), {}});
    }
  }
  return item;
}

void DBusMenuAdaptor::fail(const QString& what) { m_object->failCall(kErrorName, what); }

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                DBusMenuLayoutItem& result) {
  if (const auto found = layout(parentId, recursionDepth, propertyNames)) {
    result = *found;
  } else {
    fail(QStringLiteral("no menu item %1").arg(parentId));
  }
  return m_menu.revision();
}

DBusMenuItemPropertiesList DBusMenuAdaptor::GetGroupProperties(const QList<int>& ids, const QStringList& names) {
  DBusMenuItemPropertiesList result;
  QList<int> wanted = ids;
  // No ids asks for every item.
  if (wanted.isEmpty()) {
    wanted << 0;
    for (const TrayMenu::Entry& entry : m_menu.entries()) wanted << entry.id;
  }
  for (int id : wanted) {
    if (const auto found = properties(id, names)) result.append({id, *found});
  }
  return result;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString& name) {
  const auto found = properties(id, {name});
  if (!found || !found->contains(name)) {
    fail(QStringLiteral("no property %1 on menu item %2").arg(name).arg(id));
    return QDBusVariant(QVariant(0));
  }
  return QDBusVariant(found->value(name));
}

bool DBusMenuAdaptor::handle(int id, const QString& eventId) {
  if (!knows(id)) return false;
  if (eventId != QLatin1String("clicked")) return true;
  QPointer<TrayMenu> menu(&m_menu);
  QTimer::singleShot(0, &m_menu, [menu, id] {
    if (menu) menu->trigger(id);
  });
  return true;
}

void DBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
  if (!handle(id, eventId)) fail(QStringLiteral("no menu item %1").arg(id));
}

QList<int> DBusMenuAdaptor::EventGroup(const DBusMenuEventList& events) {
  QList<int> errors;
  for (const DBusMenuEvent& event : events) {
    if (!handle(event.id, event.eventId)) errors << event.id;
  }
  if (!events.isEmpty() && errors.size() == events.size()) fail(QStringLiteral("no such menu items"));
  return errors;
}

bool DBusMenuAdaptor::AboutToShow(int id) {
  // The layout is always current; nothing to refresh before showing.
  if (!knows(id)) fail(QStringLiteral("no menu item %1").arg(id));
  return false;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
  idErrors.clear();
  for (int id : ids) {
    if (!knows(id)) idErrors << id;
  }
  return {};
}
