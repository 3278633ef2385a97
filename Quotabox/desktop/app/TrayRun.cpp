#include "app/TrayRun.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <cstdio>

#include "app/MissingTrayHost.h"
#include "appmodel/AppModel.h"
#include "platform/FreedesktopNotificationCenter.h"
#include "platform/KWinPlacer.h"
#include "platform/PanelColorScheme.h"
#include "platform/SingleInstance.h"
#include "platform/SwayPlacer.h"
#include "tray/StatusItemOpener.h"
#include "tray/SwitchingTrayItem.h"

QString TrayRun::handedOverLine() { return QStringLiteral("Quotabox가 이미 실행 중이라 그 창을 열었어요.\n"); }

QString TrayRun::unreachableLine() { return QStringLiteral("Quotabox가 이미 실행 중이지만 응답하지 않아요.\n"); }

TrayRun::TrayRun(AppModel& model, SingleInstance& instance, PopoverWindow::Pages pages,
                 TrayController::FaceMaker makeFace, QObject* parent)
    : QObject(parent) {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  m_colorScheme = std::make_unique<PanelColorScheme>(bus);
  m_item = std::make_unique<SwitchingTrayItem>(bus);
  m_popover = std::make_unique<PopoverWindow>(model, std::move(pages));
  // The popover opens beside the icon where the tray tells its geometry; on Wayland, where the
  // compositor takes a client's word (sway, KWin), it is placed through the compositor.
  m_popover->setIconGeometry([item = m_item.get()] { return item->iconGeometry(); });
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    std::unique_ptr<PopoverPlacer> placer = SwayPlacer::fromEnvironment();
    if (!placer) placer = KWinPlacer::forSession();
    m_popover->setPlacer(std::move(placer));
  }
  m_controller = std::make_unique<TrayController>(model, *m_item, *m_popover, std::move(makeFace));
  m_controller->setDarkPanel(m_colorScheme->isDark());
  connect(m_colorScheme.get(), &PanelColorScheme::changed, m_controller.get(), &TrayController::setDarkPanel);

  m_notices = std::make_unique<FreedesktopNotificationCenter>(bus);
  const auto writeLine = [](const QString& text) {
    const QByteArray line = (text + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
  };
  const auto notify = [this, bus](const QString& text) {
    if (FreedesktopNotificationCenter::isAvailable(bus)) {
      m_notices->add(QStringLiteral("tray.missing"), {QStringLiteral("Quotabox"), text, false});
    }
  };
  m_missingHost = std::make_unique<MissingTrayHost>(*m_item, *m_popover, *m_controller, writeLine, notify);

  connect(&instance, &SingleInstance::openRequested, this, [this] { StatusItemOpener::open(*m_controller, *m_item); });
}

TrayRun::~TrayRun() = default;

void TrayRun::openAfterLaunch() { StatusItemOpener::openAfterLaunch(*m_controller, *m_item); }
