#include "views/SettingsRow.h"

#include <QHBoxLayout>
#include <QLabel>

#include "style/Look.h"

SettingsRow::SettingsRow(const QString& title, QWidget* control, QWidget* parent)
    : QWidget(parent), m_title(new QLabel(title, this)), m_control(control) {
  m_title->setFont(Look::font(12));
  control->setParent(this);
  if (control->accessibleName().isEmpty()) control->setAccessibleName(title);
  m_title->setBuddy(control);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  layout->addWidget(m_title);
  layout->addStretch(1);
  layout->addWidget(control, 0, Qt::AlignVCenter);
}

QString SettingsRow::title() const { return m_title->text(); }
