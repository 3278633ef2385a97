#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

#include "tray/PopoverPlacement.h"

class AppModel;
class QScrollArea;

// The popover: a frameless top-level window without a taskbar entry that hosts the page the model
// selects, follows its content's height and closes on Escape (usage page), on losing activation
// and when the tray item is activated again.
class PopoverWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int popoverWidth = 360;
  // Height used until the page has laid itself out.
  static constexpr int initialHeight = 240;

  using PageFactory = std::function<QWidget*(AppModel&, QWidget*)>;
  struct Pages {
    PageFactory usage;
    PageFactory settings;
  };

  PopoverWindow(AppModel& model, Pages pages, QWidget* parent = nullptr);
  ~PopoverWindow() override;

  // Opens (or moves) the popover. With a point and a desktop that lets clients place windows, the
  // tray-side edge touches the point; otherwise the window system places it.
  void openAt(std::optional<QPoint> point);
  void dismiss();
  bool isOpen() const { return isVisible(); }
  // Whether the last close happened because the window lost activation, less than `withinMs` ago:
  // the click on the tray item that took the activation should not reopen it.
  bool justClosedByDeactivation(qint64 withinMs) const;

  // The page widget shown now (nullptr while closed).
  QWidget* page() const { return m_page; }
  // Which edge stays put while the height changes; top when the window system places the window.
  PopoverEdge fixedEdge() const { return m_fixedEdge; }

 signals:
  void opened();
  void closed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildPage();
  void scheduleFit();
  void fitToContent();
  void applyFrame(const QRect& frame);
  double contentHeight() const;
  QRectF availableArea() const;
  static bool windowSystemPlaces();

  AppModel& m_model;
  Pages m_pages;
  QScrollArea* m_scroll = nullptr;
  QPointer<QWidget> m_page;
  PopoverEdge m_fixedEdge = PopoverEdge::top;
  std::optional<QPoint> m_point;
  bool m_wasActive = false;
  bool m_fitPending = false;
  QElapsedTimer m_deactivationClose;
};
