#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusContext>
#include <QDBusVariant>
#include <QStringList>
#include <optional>

#include "tray/DBusMenuTypes.h"

class TrayMenu;

// The object served at the menu's path. Qt hands the calling message to the served object, not
// to its adaptors, so errors are replied through it.
class DBusMenuObject : public QObject, public QDBusContext {
  Q_OBJECT

 public:
  using QObject::QObject;
  // Answers the current call with an error instead of its result; outside a call it does nothing.
  void failCall(const QString& name, const QString& message) const {
    if (calledFromDBus()) sendErrorReply(name, message);
  }
};

// The com.canonical.dbusmenu interface over a TrayMenu: item 0 is the menu, its children the
// entries. Hosts read the layout, send "clicked" events and are told of layout revisions and
// changed properties.
class DBusMenuAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ version)
  Q_PROPERTY(QString TextDirection READ textDirection)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

 public:
  DBusMenuAdaptor(DBusMenuObject* parent, TrayMenu& menu);

  uint version() const { return 3; }
  QString textDirection() const { return QStringLiteral("ltr"); }
  QString status() const { return QStringLiteral("normal"); }
  QStringList iconThemePath() const { return {}; }

  // The layout below `parentId` down to `depth` levels (-1: all), with only `names` among the
  // properties unless that list is empty. Nullopt for an unknown id.
  std::optional<DBusMenuLayoutItem> layout(int parentId, int depth, const QStringList& names) const;
  // Properties of one item (id 0 included), filtered by `names` when not empty.
  std::optional<QVariantMap> properties(int id, const QStringList& names) const;

 public Q_SLOTS:
  uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames, DBusMenuLayoutItem& layout);
  DBusMenuItemPropertiesList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
  QDBusVariant GetProperty(int id, const QString& name);
  void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
  QList<int> EventGroup(const DBusMenuEventList& events);
  bool AboutToShow(int id);
  QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

 signals:
  void ItemsPropertiesUpdated(const DBusMenuItemPropertiesList& updatedProps, const DBusMenuItemKeysList& removedProps);
  void LayoutUpdated(uint revision, int parent);
  void ItemActivationRequested(int id, uint timestamp);

 private:
  bool knows(int id) const;
  // Runs a click after the reply is out, so quitting from the menu still answers the host.
  bool handle(int id, const QString& eventId);
  void fail(const QString& what);

  DBusMenuObject* m_object;
  TrayMenu& m_menu;
};
