#include "tray/PopoverWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

#include "appmodel/AppModel.h"
#include "tray/PopoverPlacer.h"
#include "tray/PopoverWindowFitter.h"

PopoverWindow::PopoverWindow(AppModel& model, Pages pages, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_model(model),
      m_pages(std::move(pages)) {
  setWindowTitle(QStringLiteral("Quotabox"));
  setObjectName(QStringLiteral("QuotaboxPopover"));
  m_scroll = new QScrollArea(this);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setWidgetResizable(true);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_scroll);
  setFixedSize(popoverWidth, initialHeight);

  connect(&m_model, &AppModel::pageChanged, this, [this] {
    if (isVisible()) buildPage();
  });
}

PopoverWindow::~PopoverWindow() = default;

void PopoverWindow::setIconGeometry(IconGeometry source) { m_iconGeometry = std::move(source); }

void PopoverWindow::setPlacer(std::unique_ptr<PopoverPlacer> placer) { m_placer = std::move(placer); }

bool PopoverWindow::onWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

bool PopoverWindow::clientPlaces() const { return m_placer ? m_placerAnswered : !onWayland(); }

PopoverArea PopoverWindow::screenArea() const {
  QScreen* screen = nullptr;
  if (m_anchor) screen = QGuiApplication::screenAt(m_anchor->center().toPoint());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRectF geometry = screen->geometry();
  // Wayland tells clients nothing about panels: assume a panel's worth is taken.
  if (onWayland()) return {geometry, geometry.adjusted(0, 0, 0, -PopoverPlacement::unknownPanels)};
  return {geometry, screen->availableGeometry()};
}

void PopoverWindow::buildPage() {
  if (m_page) {
    m_page->removeEventFilter(this);
    m_scroll->takeWidget();
    m_page->deleteLater();
  }
  const PageFactory& factory = m_model.page() == AppModel::Page::settings ? m_pages.settings : m_pages.usage;
  QWidget* page = factory ? factory(m_model, nullptr) : nullptr;
  if (!page) page = new QWidget;
  m_page = page;
  m_scroll->setWidget(page);
  page->installEventFilter(this);
  scheduleFit();
}

double PopoverWindow::contentHeight() const {
  if (!m_page) return 0;
  if (m_page->hasHeightForWidth()) return m_page->heightForWidth(popoverWidth);
  return m_page->sizeHint().height();
}

void PopoverWindow::openAt(std::optional<QPoint> point) {
  m_anchor.reset();
  const std::optional<QRect> icon = m_iconGeometry ? m_iconGeometry() : std::nullopt;
  if (icon && icon->isValid()) {
    m_anchor = QRectF(*icon);
  } else if (point) {
    m_anchor = QRectF(QPointF(*point), QSizeF(0, 0));
  }
  if (!isVisible()) buildPage();
  const quint64 generation = ++m_generation;
  m_placerAnswered = false;
  m_sentTopLeft.reset();
  if (m_placer) {
    // Shown once the compositor said where the output and its panels are, so the first frame
    // already has its final size.
    m_placer->cancel();
    m_placer->lookUp(m_anchor ? std::optional(m_anchor->center()) : std::nullopt,
                     [this, generation](std::optional<PopoverArea> area) {
                       if (generation != m_generation) return;
                       m_placerAnswered = area.has_value();
                       m_area = area ? *area : screenArea();
                       present();
                     });
    return;
  }
  m_area = screenArea();
  present();
}

void PopoverWindow::present() {
  const double hint = contentHeight();
  const QSizeF size(popoverWidth, hint > 1 ? hint : std::max(height(), initialHeight));
  if (m_anchor && clientPlaces()) {
    const PopoverPlacement placement = PopoverPlacement::place(*m_anchor, size, m_area);
    m_fixedEdge = placement.fixedEdge;
    applyFrame(placement.frame.toAlignedRect());
  } else {
    m_fixedEdge = PopoverEdge::top;
    applyFrame(PopoverPlacement::placed(QRectF(pos(), size), size.height(), m_area.available).toRect());
  }
  show();
  raise();
  activateWindow();
}

void PopoverWindow::dismiss() {
  ++m_generation;
  if (m_placer) m_placer->cancel();
  hide();
}

bool PopoverWindow::justClosedByDeactivation(qint64 withinMs) const {
  return m_deactivationClose.isValid() && m_deactivationClose.elapsed() < withinMs;
}

void PopoverWindow::scheduleFit() {
  if (m_fitPending) return;
  m_fitPending = true;
  // After the current layout pass, so the page reports its final hint.
  QTimer::singleShot(0, this, [this] {
    m_fitPending = false;
    fitToContent();
  });
}

void PopoverWindow::fitToContent() {
  if (!isVisible()) return;
  const std::optional<QRectF> anchor = clientPlaces() ? m_anchor : std::nullopt;
  // Where a placer moves the window, Qt does not learn its position; the frame asked for stands in.
  const QRectF current = m_placer ? QRectF(m_frame) : QRectF(geometry());
  const auto fitted = PopoverWindowFitter::fit(current, contentHeight(), anchor, m_area);
  if (!fitted) return;
  applyFrame(QRect(fitted->topLeft().toPoint(), QSize(popoverWidth, static_cast<int>(std::lround(fitted->height())))));
}

void PopoverWindow::applyFrame(const QRect& frame) {
  // A fixed size (minimum = maximum) also tells tiling compositors to float the window.
  m_frame = frame;
  setFixedSize(frame.size());
  if (m_placer) {
    // Only a frame placed from the anchor means anything to the compositor; without one it places
    // the window itself.
    if (m_placerAnswered && m_anchor && m_sentTopLeft != frame.topLeft()) {
      m_sentTopLeft = frame.topLeft();
      m_placer->moveTo(frame.topLeft());
    }
  } else if (!onWayland()) {
    move(frame.topLeft());
  }
}

bool PopoverWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_page && event->type() == QEvent::LayoutRequest) scheduleFit();
  return QWidget::eventFilter(watched, event);
}

bool PopoverWindow::scrollByKey(int key) {
  static constexpr std::pair<int, QAbstractSlider::SliderAction> actions[] = {
      {Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd}, {Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub},
      {Qt::Key_Down, QAbstractSlider::SliderSingleStepAdd},   {Qt::Key_Up, QAbstractSlider::SliderSingleStepSub},
      {Qt::Key_End, QAbstractSlider::SliderToMaximum},        {Qt::Key_Home, QAbstractSlider::SliderToMinimum},
  };
  for (const auto& [bound, action] : actions) {
    if (bound != key) continue;
    m_scroll->verticalScrollBar()->triggerAction(action);
    return true;
  }
  return false;
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
  // On the settings page Escape belongs to the page's back button.
  if (event->key() == Qt::Key_Escape && m_model.page() == AppModel::Page::usage) {
    dismiss();
    return;
  }
  // Keys no control took scroll the page.
  if (event->modifiers() == Qt::NoModifier && scrollByKey(event->key())) return;
  QWidget::keyPressEvent(event);
}

void PopoverWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isVisible()) {
    if (isActiveWindow()) {
      m_wasActive = true;
    } else if (m_wasActive) {
      m_deactivationClose.start();
      dismiss();
    }
  }
  QWidget::changeEvent(event);
}

void PopoverWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  m_wasActive = false;
  m_model.popoverDidAppear();
  emit opened();
}

void PopoverWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;
  m_wasActive = false;
  if (m_page) {
    m_page->removeEventFilter(this);
    m_scroll->takeWidget();
    // Pages keep timers while they exist; a closed popover must not wake the process.
    m_page->deleteLater();
    m_page = nullptr;
  }
  m_model.popoverDidDisappear();
  emit closed();
}
