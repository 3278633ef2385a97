#include "views/RefreshButton.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QToolButton>

#include "style/Look.h"
#include "views/Spinner.h"
#include "views/Symbols.h"

RefreshButton::RefreshButton(bool isRefreshing, std::function<void()> action, QWidget* parent) : QWidget(parent) {
  setFixedSize(22, 22);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (isRefreshing) {
    auto* spinner = new Spinner(14, this);
    layout->addWidget(spinner, 0, Qt::AlignCenter);
    setAccessibleName(QStringLiteral("갱신 중"));
    return;
  }
  auto* button = new QToolButton(this);
  button->setAutoRaise(true);
  button->setFixedSize(22, 22);
  button->setIcon(Symbols::icon(QStringLiteral("arrow.clockwise"), 13, Look::primary(palette())));
  button->setIconSize(QSize(16, 16));
  const QKeySequence shortcut(Qt::CTRL | Qt::Key_R);
  button->setToolTip(QStringLiteral("지금 새로고침 (") + shortcut.toString(QKeySequence::NativeText) +
                     QLatin1Char(')'));
  button->setAccessibleName(QStringLiteral("새로고침"));
  connect(button, &QToolButton::clicked, this, [action = std::move(action)] {
    if (action) action();
  });
  layout->addWidget(button);
  setAccessibleName(QStringLiteral("새로고침"));
}
