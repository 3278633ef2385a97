#include "tray/StatusNotifierItemAdaptor.h"

#include "tray/StatusNotifierItem.h"

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusNotifierItem* item)
    : QDBusAbstractAdaptor(item), m_item(item) {}

SniPixmapList StatusNotifierItemAdaptor::iconPixmap() const { return m_item->iconPixmap(); }
SniToolTip StatusNotifierItemAdaptor::toolTip() const { return m_item->toolTip(); }
QString StatusNotifierItemAdaptor::label() const { return m_item->face().label; }
QString StatusNotifierItemAdaptor::labelGuide() const { return m_item->face().labelGuide; }

void StatusNotifierItemAdaptor::Activate(int x, int y) { m_item->activate(x, y); }
void StatusNotifierItemAdaptor::SecondaryActivate(int, int) { m_item->secondaryActivate(); }
void StatusNotifierItemAdaptor::ContextMenu(int x, int y) { m_item->contextMenu(x, y); }
void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}
QDBusObjectPath StatusNotifierItemAdaptor::menu() const { return m_item->menuObjectPath(); }
