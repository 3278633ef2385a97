#include "app/MissingTrayHost.h"

#include <QEvent>

#include "tray/PopoverWindow.h"
#include "tray/SwitchingTrayItem.h"
#include "tray/TrayController.h"

MissingTrayHost::MissingTrayHost(SwitchingTrayItem& item, PopoverWindow& popover, TrayController& controller,
                                 Say writeLine, Say notify, QObject* parent)
    : QObject(parent),
      m_item(item),
      m_popover(popover),
      m_controller(controller),
      m_writeLine(std::move(writeLine)),
      m_notify(std::move(notify)),
      m_popoverFlags(popover.windowFlags()) {
  connect(&m_item, &SwitchingTrayItem::hostChanged, this, &MissingTrayHost::hostChanged);
  if (!m_item.hasHost()) hostChanged(false);
}

QString MissingTrayHost::message() {
  return QStringLiteral(
      "트레이 아이콘을 표시할 곳이 없어 사용량 창을 열었어요. GNOME에서는 AppIndicator 확장을 켜고, "
      "상태 표시줄에서는 quotabox --waybar를 쓰세요.");
}

void MissingTrayHost::hostChanged(bool hasHost) {
  if (hasHost) {
    if (!m_windowed) return;
    m_windowed = false;
    m_popover.removeEventFilter(this);
    const bool open = m_popover.isOpen();
    m_popover.setWindowFlags(m_popoverFlags);
    // Changing the flags hides the window; a popover in use stays open.
    if (open) m_popover.show();
    return;
  }
  if (!m_told) {
    m_told = true;
    if (m_writeLine) m_writeLine(message());
    if (m_notify) m_notify(message());
  }
  if (!m_windowed) {
    m_windowed = true;
    m_popover.dismiss();
    m_popover.setWindowFlags(Qt::Window);
    m_popover.installEventFilter(this);
  }
  m_controller.openPopover(std::nullopt);
}

bool MissingTrayHost::eventFilter(QObject* watched, QEvent* event) {
  // An ordinary window stays open when another window takes the focus.
  if (watched == &m_popover && event->type() == QEvent::ActivationChange) return true;
  return QObject::eventFilter(watched, event);
}
