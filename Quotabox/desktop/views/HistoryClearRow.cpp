#include "views/HistoryClearRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "appmodel/AppModel.h"
#include "style/Look.h"
#include "views/Caption.h"
#include "views/SmallButton.h"
#include "wording/PlatformWording.h"

namespace {
// The red-tinted box that holds the deletion question.
class ConfirmationBox : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Look::withOpacity(Look::red(palette()), 0.1));
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
  }
};

QWidget* titledRow(QWidget* parent, QWidget* trailing) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* title = new QLabel(QStringLiteral("저장된 기록"), row);
  title->setFont(Look::font(12));
  layout->addWidget(title, 0, Qt::AlignVCenter);
  layout->addStretch(1);
  layout->addWidget(trailing, 0, Qt::AlignVCenter);
  return row;
}
}  // namespace

HistoryClearRow::HistoryClearRow(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);

  m_ask = new SmallButton(QStringLiteral("기록 삭제…"), QStringLiteral("trash"));
  m_ask->setToolTip(PlatformWording::thisComputer() + QStringLiteral("에 저장된 사용 기록을 모두 지워요"));
  m_row = titledRow(this, m_ask);
  layout->addWidget(m_row);

  m_progress = new Caption(QStringLiteral("기록을 삭제하고 있어요"), QStringLiteral("hourglass"));
  m_progress->setWrapping(false);
  layout->addWidget(titledRow(this, m_progress));
  m_cleared = new Caption(QStringLiteral("삭제했어요"), QStringLiteral("checkmark"));
  m_cleared->setWrapping(false);
  layout->addWidget(titledRow(this, m_cleared));

  m_failure = new QWidget(this);
  auto* failure = new QVBoxLayout(m_failure);
  failure->setContentsMargins(0, 0, 0, 0);
  failure->setSpacing(6);
  auto* failureTitle = new QLabel(QStringLiteral("저장된 기록"), m_failure);
  failureTitle->setFont(Look::font(12));
  failure->addWidget(failureTitle);
  failure->addWidget(new Caption(
      QStringLiteral("기록 파일을 삭제하지 못했어요. 기록 저장을 멈췄으니 폴더 권한을 확인한 뒤 다시 시도해 주세요."),
      QStringLiteral("exclamationmark.triangle"), m_failure));
  m_retry = new SmallButton(QStringLiteral("삭제 다시 시도"), {}, m_failure);
  failure->addWidget(m_retry, 0, Qt::AlignLeft);
  layout->addWidget(m_failure);

  m_confirmation = makeConfirmation();
  layout->addWidget(m_confirmation);

  using Stage = AppModel::HistoryClearStage;
  connect(m_ask, &QPushButton::clicked, this, [this] { m_model.setHistoryClear(Stage::confirming); });
  connect(m_cancel, &QPushButton::clicked, this, [this] { m_model.setHistoryClear(Stage::idle); });
  connect(m_confirm, &QPushButton::clicked, this, [this] { m_model.confirmClearHistory(); });
  connect(m_retry, &QPushButton::clicked, this, [this] { m_model.confirmClearHistory(); });
  sync();
}

QWidget* HistoryClearRow::makeConfirmation() {
  auto* box = new ConfirmationBox(this);
  box->setAccessibleName(QStringLiteral("기록 삭제 확인"));
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);

  auto* question =
      new Caption(QStringLiteral("저장된 사용 기록을 모두 지울까요? 되돌릴 수 없어요."), QStringLiteral("trash"), box);
  question->setEmphasized();
  layout->addWidget(question);

  m_cancel = new SmallButton(QStringLiteral("취소"), {}, box);
  m_confirm = new SmallButton(QStringLiteral("기록 삭제"), {}, box);
  // Destructive and prominent: the control style fills it red.
  m_confirm->setProperty("role", QStringLiteral("destructive"));
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(6);
  buttons->addWidget(m_cancel);
  buttons->addWidget(m_confirm);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  return box;
}

HistoryClearRow::State HistoryClearRow::state() const {
  switch (m_model.historyClear()) {
    case AppModel::HistoryClearStage::idle:
      return State::idle;
    case AppModel::HistoryClearStage::confirming:
      return State::confirming;
    case AppModel::HistoryClearStage::done:
      break;
  }
  if (m_model.store().isClearingHistory()) return State::clearing;
  return m_model.store().historyClearFailed() ? State::failed : State::cleared;
}

void HistoryClearRow::sync() {
  const State current = state();
  m_row->setVisible(current == State::idle);
  m_confirmation->setVisible(current == State::confirming);
  m_progress->parentWidget()->setVisible(current == State::clearing);
  m_failure->setVisible(current == State::failed);
  m_cleared->parentWidget()->setVisible(current == State::cleared);
}
