#include "views/UsageView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "appmodel/AppModel.h"
#include "style/Look.h"
#include "views/Divider.h"
#include "views/FooterButton.h"
#include "views/HeadingLabel.h"
#include "views/Labels.h"
#include "views/RefreshButton.h"
#include "views/ServiceCard.h"
#include "wording/UsageWording.h"

namespace {
const QKeySequence kSettingsKeys(Qt::CTRL | Qt::Key_Comma);
const QKeySequence kQuitKeys(Qt::CTRL | Qt::Key_Q);

QString withShortcut(const QString& text, const QKeySequence& keys) {
  return text + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + QLatin1Char(')');
}
}  // namespace

UsageView::UsageView(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(0);
  // The height follows sizeHint(), which knows the fixed width; see minimumSizeHint().
  page->setSizeConstraint(QLayout::SetNoConstraint);
  m_headerSlot = new QVBoxLayout;
  m_cardsSlot = new QVBoxLayout;
  m_footerSlot = new QVBoxLayout;
  page->addLayout(m_headerSlot);
  page->addLayout(m_cardsSlot);
  page->addSpacing(12);
  page->addWidget(new Divider(this));
  page->addLayout(m_footerSlot);
  replace(m_footerSlot, m_footer, footer());

  // Ctrl is Command on macOS.
  const QKeySequence refreshKeys(Qt::CTRL | Qt::Key_R);
  connect(new QShortcut(refreshKeys, this), &QShortcut::activated, this, &UsageView::refresh);
  connect(new QShortcut(kSettingsKeys, this), &QShortcut::activated, this, &UsageView::openSettings);
  connect(new QShortcut(kQuitKeys, this), &QShortcut::activated, this, &QCoreApplication::quit, Qt::QueuedConnection);

  m_tick.setInterval(kTickMilliseconds);
  connect(&m_tick, &QTimer::timeout, this, &UsageView::renderNow);

  UsageStore& store = m_model.store();
  AppSettings& settings = m_model.settings();
  for (auto signal : {&UsageStore::usagesChanged, &UsageStore::isRefreshingChanged, &UsageStore::lastRefreshChanged,
                      &UsageStore::trendInputsChanged, &UsageStore::historyEnabledChanged}) {
    connect(&store, signal, this, &UsageView::scheduleRender);
  }
  connect(&settings, &AppSettings::showTrendsChanged, this, &UsageView::scheduleRender);
  connect(&settings, &AppSettings::historyEnabledChanged, this, &UsageView::scheduleRender);
  connect(&settings, &AppSettings::warningThresholdChanged, this, &UsageView::scheduleRender);
  connect(&settings, &AppSettings::criticalThresholdChanged, this, &UsageView::scheduleRender);
  connect(&settings, &AppSettings::refreshIntervalChanged, this, &UsageView::scheduleRender);
  connect(&m_model, &AppModel::expandedTrendsChanged, this, &UsageView::scheduleRender);
  renderNow();
}

QSize UsageView::sizeHint() const {
  return {kWidth, hasHeightForWidth() ? heightForWidth(kWidth) : QWidget::sizeHint().height()};
}

QString UsageView::lastRefreshText(TimePoint now) const {
  const UsageStore& store = m_model.store();
  return UsageWording::lastRefreshText(store.lastRefresh(), store.isRefreshing(), now);
}

std::optional<TrendContext> UsageView::trendContext(ServiceID service) const {
  const AppSettings& settings = m_model.settings();
  if (!settings.showTrends() || !settings.historyEnabled()) return std::nullopt;
  AppModel* model = &m_model;
  return TrendContext{
      [model, service](const std::string& windowID) { return model->trend(service, windowID); },
      [model, service](const std::string& windowID) {
        return model->expandedTrends().count(AppModel::trendKey(service, windowID)) > 0;
      },
      [model, service](const std::string& windowID) { model->toggleTrend(service, windowID); },
  };
}

void UsageView::refresh() {
  if (!m_model.store().isRefreshing()) m_model.refreshNow();
}

void UsageView::scheduleRender() {
  // Coalesced and deferred: a button that caused the change is not deleted inside its own signal.
  if (m_renderPending) return;
  m_renderPending = true;
  QMetaObject::invokeMethod(this, &UsageView::renderNow, Qt::QueuedConnection);
}

void UsageView::renderNow() {
  m_renderPending = false;
  const TimePoint now = m_model.now();
  replace(m_headerSlot, m_header, header());
  replace(m_cardsSlot, m_cards, cards(now));
  if (m_lastRefresh) m_lastRefresh->setText(lastRefreshText(now));
  updateGeometry();
}

void UsageView::replace(QVBoxLayout* slot, QPointer<QWidget>& current, QWidget* next) {
  if (current) {
    // Out of the layout at once, so the page's size hint is the new one; deleted later because
    // the old widget may be the sender of the change being drawn.
    slot->removeWidget(current);
    current->hide();
    current->deleteLater();
  }
  current = next;
  slot->addWidget(next);
  // Shown now rather than at the layout's next turn, so the page is complete when it returns.
  if (slot->parentWidget() && slot->parentWidget()->isVisible()) next->show();
}

QWidget* UsageView::header() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(14, 12, Look::kTrailingMargin, 10);
  row->addWidget(
      new HeadingLabel(QStringLiteral("구독 사용량"), Look::font(14, QFont::DemiBold), Look::primary(palette()), box));
  row->addStretch(1);
  row->addWidget(new RefreshButton(
      m_model.store().isRefreshing(), [this] { refresh(); }, box));
  return box;
}

QWidget* UsageView::cards(TimePoint now) {
  auto* box = new QWidget(this);
  auto* stack = new QVBoxLayout(box);
  stack->setContentsMargins(12, 0, 12, 0);
  stack->setSpacing(10);
  const AppSettings& settings = m_model.settings();
  const bool refreshing = m_model.store().isRefreshing();
  for (const auto& [service, usage] : m_model.orderedUsages()) {
    const ServiceCard::Input input{service,
                                   usage,
                                   now,
                                   settings.thresholds(),
                                   settings.refreshInterval(),
                                   refreshing,
                                   [this] { refresh(); },
                                   trendContext(service)};
    stack->addWidget(new ServiceCard(input, box));
  }
  return box;
}

QWidget* UsageView::footer() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(14, 8, Look::kTrailingMargin, 8);
  row->setSpacing(4);
  m_lastRefresh = Labels::make(QString(), Look::font(11), Look::secondary(palette()), box);
  row->addWidget(m_lastRefresh);
  row->addStretch(1);

  auto* settings = new FooterButton(QStringLiteral("설정"), QStringLiteral("gearshape"),
                                    withShortcut(QStringLiteral("설정"), kSettingsKeys), box);
  connect(settings, &QToolButton::clicked, this, &UsageView::openSettings);
  row->addWidget(settings);

  auto* quit = new FooterButton(QStringLiteral("종료"), QStringLiteral("power"),
                                withShortcut(QStringLiteral("Quotabox 종료"), kQuitKeys), box);
  connect(quit, &QToolButton::clicked, this, &QCoreApplication::quit, Qt::QueuedConnection);
  row->addWidget(quit);
  return box;
}

void UsageView::openSettings() { m_model.setPage(AppModel::Page::settings); }

void UsageView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Colours are taken when the parts are built: a new light or dark palette rebuilds them.
  if (event->type() != QEvent::PaletteChange) return;
  replace(m_footerSlot, m_footer, footer());
  scheduleRender();
}

void UsageView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  renderNow();
  m_tick.start();
}

void UsageView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  m_tick.stop();
}
