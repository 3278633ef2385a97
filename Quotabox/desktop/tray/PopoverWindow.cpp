#include "tray/PopoverWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "appmodel/AppModel.h"
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

bool PopoverWindow::windowSystemPlaces() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QRectF PopoverWindow::availableArea() const {
  QScreen* screen = nullptr;
  if (m_point) screen = QGuiApplication::screenAt(*m_point);
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? QRectF(screen->availableGeometry()) : QRectF();
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
  m_point = point;
  if (!isVisible()) buildPage();
  const double hint = contentHeight();
  const QSizeF size(popoverWidth, hint > 1 ? hint : std::max(height(), initialHeight));
  if (point && !windowSystemPlaces()) {
    const PopoverPlacement placement = PopoverPlacement::place(QPointF(*point), size, availableArea());
    m_fixedEdge = placement.fixedEdge;
    applyFrame(placement.frame.toAlignedRect());
  } else {
    m_fixedEdge = PopoverEdge::top;
    applyFrame(QRect(pos(), size.toSize()));
  }
  show();
  raise();
  activateWindow();
}

void PopoverWindow::dismiss() { hide(); }

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
  const QRectF available = windowSystemPlaces() ? QRectF() : availableArea();
  const auto fitted = PopoverWindowFitter::fit(QRectF(geometry()), contentHeight(), available, m_fixedEdge);
  if (!fitted) return;
  applyFrame(QRect(fitted->topLeft().toPoint(), QSize(popoverWidth, static_cast<int>(std::lround(fitted->height())))));
}

void PopoverWindow::applyFrame(const QRect& frame) {
  // A fixed size (minimum = maximum) also tells tiling compositors to float the window.
  setFixedSize(frame.size());
  if (!windowSystemPlaces()) move(frame.topLeft());
}

bool PopoverWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_page && event->type() == QEvent::LayoutRequest) scheduleFit();
  return QWidget::eventFilter(watched, event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
  // On the settings page Escape belongs to the page's back button.
  if (event->key() == Qt::Key_Escape && m_model.page() == AppModel::Page::usage) {
    dismiss();
    return;
  }
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
