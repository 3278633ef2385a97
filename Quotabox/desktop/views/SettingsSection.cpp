#include "views/SettingsSection.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "style/Look.h"
#include "views/HeadingLabel.h"

namespace {
// The rounded, faintly filled box behind a section's content.
class SectionBox : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Look::withOpacity(palette().color(QPalette::WindowText), 0.05));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
  }
};
}  // namespace

SettingsSection::SettingsSection(const QString& title, QWidget* parent)
    : QWidget(parent), m_title(new HeadingLabel(title, this)), m_box(new SectionBox(this)), m_content(new QVBoxLayout) {
  Look::setText(m_title, 11, QFont::DemiBold, Look::secondary(m_title->palette()));
  m_box->setFont(Look::font(12));
  m_content->setContentsMargins(10, 10, 10, 10);
  m_content->setSpacing(8);
  m_box->setLayout(m_content);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  layout->addWidget(m_title);
  layout->addWidget(m_box);
}

QString SettingsSection::title() const { return m_title->text(); }

void SettingsSection::addContent(QWidget* content) {
  content->setParent(m_box);
  m_content->addWidget(content);
}
