#pragma once

#include <QObject>
#include <QString>
#include <functional>

class PopoverWindow;
class SwitchingTrayItem;
class TrayController;

// When nothing can show the tray item (vanilla GNOME, an X11 session without a tray): tells the
// user once per start, on standard error and as a desktop notification, and opens the popover as
// an ordinary window so the quota is still in sight. A host appearing later gives the popover
// back its tray manners.
class MissingTrayHost : public QObject {
  Q_OBJECT

 public:
  using Say = std::function<void(const QString& text)>;

  // `writeLine` gets the stderr line; `notify` the notification text (it decides whether a
  // notification server is there).
  MissingTrayHost(SwitchingTrayItem& item, PopoverWindow& popover, TrayController& controller, Say writeLine,
                  Say notify, QObject* parent = nullptr);

  // The one line, naming the ways out.
  static QString message();
  bool windowed() const { return m_windowed; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void hostChanged(bool hasHost);

  SwitchingTrayItem& m_item;
  PopoverWindow& m_popover;
  TrayController& m_controller;
  Say m_writeLine;
  Say m_notify;
  Qt::WindowFlags m_popoverFlags;
  bool m_told = false;
  bool m_windowed = false;
};
