#include "tray/TrayController.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <algorithm>
#include <cmath>

#include "appmodel/AppModel.h"
#include "settings/UsageLevel.h"
#include "tray/PopoverWindow.h"
#include "tray/TrayItem.h"
#include "tray/TrayMenu.h"

TrayController::TrayController(AppModel& model, TrayItem& item, PopoverWindow& popover, FaceMaker makeFace, Clock clock,
                               QObject* parent)
    : QObject(parent),
      m_model(model),
      m_item(item),
      m_popover(&popover),
      m_makeFace(std::move(makeFace)),
      m_clock(std::move(clock)) {
  m_rejudge.setSingleShot(true);
  connect(&m_rejudge, &QTimer::timeout, this, &TrayController::redraw);

  const UsageStore& store = m_model.store();
  const AppSettings& settings = m_model.settings();
  connect(&store, &UsageStore::usagesChanged, this, &TrayController::redraw);
  connect(&settings, &AppSettings::menuBarStyleChanged, this, &TrayController::redraw);
  connect(&settings, &AppSettings::warningThresholdChanged, this, &TrayController::redraw);
  connect(&settings, &AppSettings::criticalThresholdChanged, this, &TrayController::redraw);
  connect(&settings, &AppSettings::refreshIntervalChanged, this, &TrayController::redraw);

  connect(&m_item, &TrayItem::activated, this,
          [this](QPoint point, bool hasPoint) { togglePopover(hasPoint ? std::optional(point) : std::nullopt); });
  connect(&m_item, &TrayItem::secondaryActivated, this, &TrayController::refresh);
  connect(&m_item, &TrayItem::contextMenuRequested, this, &TrayController::showContextMenu);

  // Menu: one list of entries, served to hosts over D-Bus and shown as a QMenu on X11.
  canPlacePopups = [] { return QGuiApplication::platformName() == QLatin1String("xcb"); };
  m_trayMenu = new TrayMenu(this);
  m_trayMenu->setEntries({
      {TrayMenuIds::open, QStringLiteral("사용량 보기"), false, true,
       [this] {
         m_model.setPage(AppModel::Page::usage);
         openPopover(m_item.anchorPoint());
       }},
      {TrayMenuIds::refresh, QStringLiteral("새로고침"), false, true, [this] { refresh(); }},
      {TrayMenuIds::settings, QStringLiteral("설정"), false, true, [this] { openSettings(m_item.anchorPoint()); }},
      {TrayMenuIds::separator, QString(), true, true, {}},
      {TrayMenuIds::quit, QStringLiteral("종료"), false, true, [] { QCoreApplication::quit(); }},
  });
  // A running refresh makes another one a no-op; the entry says so.
  connect(&store, &UsageStore::isRefreshingChanged, this,
          [this] { m_trayMenu->setEnabled(TrayMenuIds::refresh, !m_model.store().isRefreshing()); });
  m_menu = new QMenu;
  for (const TrayMenu::Entry& entry : m_trayMenu->entries()) {
    if (entry.separator) {
      m_menu->addSeparator();
      continue;
    }
    QAction* action = m_menu->addAction(entry.label);
    connect(action, &QAction::triggered, this, [this, id = entry.id] { m_trayMenu->trigger(id); });
    connect(m_trayMenu, &TrayMenu::enabledChanged, action, [action, id = entry.id](int changed, bool enabled) {
      if (changed == id) action->setEnabled(enabled);
    });
  }
  m_item.setMenu(m_trayMenu);

  redraw();
}

TrayController::~TrayController() { delete m_menu; }

void TrayController::redraw() {
  const TimePoint now = m_clock();
  TrayFace face = m_makeFace(m_model, now, m_darkPanel);
  if (!m_hasFace || !(face == m_face)) {
    m_face = std::move(face);
    m_hasFace = true;
    m_item.show(m_face);
  }
  scheduleRejudge(now);
}

void TrayController::setDarkPanel(bool dark) {
  if (dark == m_darkPanel) return;
  m_darkPanel = dark;
  redraw();
}

std::optional<TimePoint> TrayController::nextJudgementChange(const UsageMap& usages, double refreshInterval,
                                                             TimePoint now) {
  std::optional<TimePoint> next;
  const auto consider = [&](TimePoint t) {
    if (t > now && (!next || t < *next)) next = t;
  };
  for (const auto& [service, usage] : usages) {
    // Only a value slot depends on the time; failures and loading do not.
    if (!usage.status.isOk() || usage.windows.empty()) continue;
    consider(usage.fetchedAt + Seconds(freshnessLimit(refreshInterval)));
    for (const UsageWindow& window : usage.windows) {
      if (window.resetsAt) consider(*window.resetsAt);
    }
  }
  return next;
}

void TrayController::scheduleRejudge(TimePoint now) {
  const auto next = nextJudgementChange(m_model.store().usages(), m_model.settings().refreshInterval(), now);
  if (!next) {
    m_rejudge.stop();
    return;
  }
  // Just past the instant: freshness holds exactly at the limit.
  const double ms = std::ceil((*next - now).count() * 1000.0) + 1;
  m_rejudge.start(static_cast<int>(std::clamp(ms, 1.0, static_cast<double>(rejudgeIntervalMs))));
}

void TrayController::togglePopover(std::optional<QPoint> point) {
  if (!m_popover) return;
  if (m_popover->isOpen()) {
    m_popover->dismiss();
    return;
  }
  if (m_popover->justClosedByDeactivation(reopenGuardMs)) return;
  openPopover(point);
}

void TrayController::openPopover(std::optional<QPoint> point) {
  if (m_popover) m_popover->openAt(point);
}

void TrayController::openSettings(std::optional<QPoint> point) {
  m_model.setPage(AppModel::Page::settings);
  if (m_popover && !m_popover->isOpen()) m_popover->openAt(point);
}

void TrayController::refresh() { m_model.refreshNow(); }

void TrayController::showContextMenu(QPoint point) {
  if (!canPlacePopups || !canPlacePopups()) {
    openPopover(point.isNull() ? m_item.anchorPoint() : std::optional(point));
    return;
  }
  // Hosts that do not know the pointer position send (0, 0).
  m_menu->popup(point.isNull() ? QCursor::pos() : point);
}
