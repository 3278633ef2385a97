#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "tray/PopoverPlacement.h"

class AppModel;
class PopoverPlacer;
class QScrollArea;

// The popover: a frameless top-level window without a taskbar entry that hosts the page the model
// selects, follows its content's height up to what the screen has room for (the page scrolls
// beyond, by wheel and keyboard) and closes on Escape (usage page), on losing activation and when
// the tray item is activated again.
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

  using IconGeometry = std::function<std::optional<QRect>()>;

  PopoverWindow(AppModel& model, Pages pages, QWidget* parent = nullptr);
  ~PopoverWindow() override;

  // Where the tray icon is on screen, when the tray tells (XEmbed); preferred over the click point.
  void setIconGeometry(IconGeometry source);
  // The compositor's placement service on Wayland, which then moves the window instead of Qt;
  // without one the compositor places it there.
  void setPlacer(std::unique_ptr<PopoverPlacer> placer);

  // Opens (or moves) the popover. Where the client may place its window (X11, or a compositor with a
  // placer) it goes beside the tray icon, else beside `point`; otherwise the window system places it.
  void openAt(std::optional<QPoint> point);
  void dismiss();
  bool isOpen() const { return isVisible(); }
  // Whether the last close happened because the window lost activation, less than `withinMs` ago:
  // the click on the tray item that took the activation should not reopen it.
  bool justClosedByDeactivation(qint64 withinMs) const;

  // The page widget shown now (nullptr while closed).
  QWidget* page() const { return m_page; }
  // The scroll area around the page.
  QScrollArea* scrollArea() const { return m_scroll; }
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
  void present();
  void scheduleFit();
  void fitToContent();
  void applyFrame(const QRect& frame);
  bool scrollByKey(int key);
  double contentHeight() const;
  PopoverArea screenArea() const;
  // Whether the frame computed here is where the window goes (X11, or a placer that answered).
  bool clientPlaces() const;
  static bool onWayland();

  AppModel& m_model;
  Pages m_pages;
  QScrollArea* m_scroll = nullptr;
  QPointer<QWidget> m_page;
  PopoverEdge m_fixedEdge = PopoverEdge::top;
  IconGeometry m_iconGeometry;
  std::unique_ptr<PopoverPlacer> m_placer;
  // The icon, or the click point as an empty rectangle, in logical pixels.
  std::optional<QRectF> m_anchor;
  PopoverArea m_area;
  QRect m_frame;
  bool m_placerAnswered = false;
  std::optional<QPoint> m_sentTopLeft;
  // Counts openings and closings, so a late answer from the compositor can tell it is stale.
  quint64 m_generation = 0;
  bool m_wasActive = false;
  bool m_fitPending = false;
  QElapsedTimer m_deactivationClose;
};
