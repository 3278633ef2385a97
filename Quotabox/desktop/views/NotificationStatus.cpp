#include "views/NotificationStatus.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "appmodel/AppModel.h"
#include "views/Caption.h"
#include "views/SmallButton.h"
#include "wording/PlatformWording.h"

#ifdef Q_OS_MACOS
#include <QDesktopServices>
#include <QUrl>
#endif

NotificationStatus::NotificationStatus(AppModel& model, QWidget* parent)
    : QWidget(parent),
      m_model(model),
      m_unsupported(new Caption(PlatformWording::notificationsUnavailable(), QStringLiteral("info.circle"), this)),
      m_testButton(new SmallButton(QStringLiteral("테스트 알림 보내기"), {}, this)),
      m_denied(new QWidget(this)) {
  connect(m_testButton, &QPushButton::clicked, this, [this] { m_model.notifier().sendTestNotification(); });

  auto* deniedLayout = new QHBoxLayout(m_denied);
  deniedLayout->setContentsMargins(0, 0, 0, 0);
  deniedLayout->addWidget(
      new Caption(QStringLiteral("시스템 설정에서 Quotabox 알림이 꺼져 있어요."), QStringLiteral("bell.slash")), 1,
      Qt::AlignTop);
#ifdef Q_OS_MACOS
  // Freedesktop servers have no per-application switch, so only macOS has a pane to open.
  auto* open = new SmallButton(QStringLiteral("시스템 설정 열기"));
  connect(open, &QPushButton::clicked, this, [] {
    QDesktopServices::openUrl(QUrl(QStringLiteral("x-apple.systempreferences:com.apple.preference.notifications")));
  });
  deniedLayout->addWidget(open, 0, Qt::AlignTop);
#endif

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_unsupported);
  layout->addWidget(m_testButton, 0, Qt::AlignLeft);
  layout->addWidget(m_denied);
  sync();
}

void NotificationStatus::sync() {
  using Authorization = ThresholdNotifier::Authorization;
  const Authorization authorization = m_model.notifier().authorization();
  const bool enabled = m_model.settings().notificationsEnabled();
  m_unsupported->setVisible(authorization == Authorization::unsupported);
  m_testButton->setVisible(authorization == Authorization::allowed);
  m_denied->setVisible(authorization == Authorization::denied);
  setVisible(enabled && (authorization == Authorization::unsupported || authorization == Authorization::allowed ||
                         authorization == Authorization::denied));
}
