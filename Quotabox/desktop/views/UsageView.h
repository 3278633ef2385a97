#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "views/TrendContext.h"

class AppModel;
class QVBoxLayout;
class QLabel;

// The popover's usage page: header with refresh, one card per service, and the footer with the
// last refresh, settings and quit. Rebuilt from the model whenever it changes, and every 30 s
// while shown so that relative times advance.
class UsageView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTickMilliseconds = 30000;
  // The popover's fixed width.
  static constexpr int kWidth = 360;

  UsageView(AppModel& model, QWidget* parent = nullptr);

  QString lastRefreshText(TimePoint now) const;
  // Only while both "show trends" and "save usage history" are on.
  std::optional<TrendContext> trendContext(ServiceID service) const;

  // The popover width and the height the content needs at that width (wrapped lines included).
  QSize sizeHint() const override;
  // The same: the layout's own minimum would measure wrapped lines at a narrower width.
  QSize minimumSizeHint() const override { return sizeHint(); }

  bool isTicking() const { return m_tick.isActive(); }
  // Rebuilds now instead of at the next turn of the event loop.
  void renderNow();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void scheduleRender();
  void refresh();
  void openSettings();
  QWidget* header();
  QWidget* cards(TimePoint now);
  QWidget* footer();
  static void replace(QVBoxLayout* slot, QPointer<QWidget>& current, QWidget* next);

  AppModel& m_model;
  QTimer m_tick;
  bool m_renderPending = false;
  QPointer<QWidget> m_header;
  QPointer<QWidget> m_cards;
  QPointer<QWidget> m_footer;
  QPointer<QLabel> m_lastRefresh;
  QVBoxLayout* m_headerSlot = nullptr;
  QVBoxLayout* m_cardsSlot = nullptr;
  QVBoxLayout* m_footerSlot = nullptr;
};
