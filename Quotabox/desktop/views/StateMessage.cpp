#include "views/StateMessage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "style/Look.h"
#include "views/Labels.h"
#include "views/SmallButton.h"
#include "views/SymbolLabel.h"

StateMessage::StateMessage(const QString& symbol, const QString& title, const QString& detail,
                           const QString& actionTitle, bool isBusy, std::function<void()> action, QWidget* parent)
    : QWidget(parent) {
  const QPalette& colors = palette();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(8);
  row->addWidget(new SymbolLabel(symbol, 20, Look::secondary(colors), 24, this), 0, Qt::AlignTop);

  auto* stack = new QVBoxLayout;
  stack->setSpacing(4);
  stack->addWidget(Labels::make(title, Look::font(12, QFont::DemiBold), Look::primary(colors), this));

  auto* detailLabel = Labels::make(QString(), Look::font(11), Look::secondary(colors), this);
  detailLabel->setTextFormat(Qt::RichText);
  detailLabel->setText(markup(detail));
  detailLabel->setWordWrap(true);
  detailLabel->setObjectName(QStringLiteral("detail"));
  stack->addWidget(detailLabel);

  stack->addSpacing(2);
  auto* button = new SmallButton(actionTitle, {}, this);
  button->setEnabled(!isBusy);
  connect(button, &QPushButton::clicked, this, [action = std::move(action)] {
    if (action) action();
  });
  stack->addWidget(button, 0, Qt::AlignLeft);
  row->addLayout(stack, 1);

  setAccessibleName(title);
  setAccessibleDescription(QString(detail).remove(QLatin1Char('`')));
}

QString StateMessage::markup(const QString& detail) {
  QString html;
  qsizetype from = 0;
  while (from < detail.size()) {
    const qsizetype open = detail.indexOf(QLatin1Char('`'), from);
    const qsizetype close = open < 0 ? -1 : detail.indexOf(QLatin1Char('`'), open + 1);
    if (close < 0) {
      html += detail.mid(from).toHtmlEscaped();
      break;
    }
    html += detail.mid(from, open - from).toHtmlEscaped();
    html +=
        QStringLiteral("<code>") + detail.mid(open + 1, close - open - 1).toHtmlEscaped() + QStringLiteral("</code>");
    from = close + 1;
  }
  return html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}
