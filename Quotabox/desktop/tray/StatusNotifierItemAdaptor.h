#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>

#include "tray/SniTypes.h"

class StatusNotifierItem;

// The org.kde.StatusNotifierItem interface, plus the Ayatana text label that GNOME's indicator
// extension shows. Reads its state from the item and forwards the host's calls to it.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(int WindowId READ windowId)
  Q_PROPERTY(QString IconName READ emptyName)
  Q_PROPERTY(SniPixmapList IconPixmap READ iconPixmap)
  Q_PROPERTY(QString OverlayIconName READ emptyName)
  Q_PROPERTY(SniPixmapList OverlayIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionIconName READ emptyName)
  Q_PROPERTY(SniPixmapList AttentionIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ emptyName)
  Q_PROPERTY(SniToolTip ToolTip READ toolTip)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
  Q_PROPERTY(QDBusObjectPath Menu READ menu)
  Q_PROPERTY(QString XAyatanaLabel READ label)
  Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)

 public:
  explicit StatusNotifierItemAdaptor(StatusNotifierItem* item);

  QString category() const { return QStringLiteral("ApplicationStatus"); }
  QString id() const { return QStringLiteral("quotabox"); }
  QString title() const { return QStringLiteral("Quotabox"); }
  QString status() const { return QStringLiteral("Active"); }
  int windowId() const { return 0; }
  QString emptyName() const { return {}; }
  SniPixmapList noPixmaps() const { return {}; }
  SniPixmapList iconPixmap() const;
  SniToolTip toolTip() const;
  // False: a left click is ours (the popover); the menu belongs to the right click.
  bool itemIsMenu() const { return false; }
  QDBusObjectPath menu() const;
  QString label() const;
  QString labelGuide() const;

 public Q_SLOTS:
  void Activate(int x, int y);
  void SecondaryActivate(int x, int y);
  void ContextMenu(int x, int y);
  void Scroll(int delta, const QString& orientation);

 signals:
  void NewIcon();
  void NewToolTip();
  void NewTitle();
  void NewStatus(const QString& status);
  void XAyatanaNewLabel(const QString& label, const QString& guide);

 private:
  StatusNotifierItem* m_item;
};
