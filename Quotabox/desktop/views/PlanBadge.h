#pragma once

#include <QString>
#include <QWidget>

// The plan name on a small capsule beside a service's name.
class PlanBadge : public QWidget {
  Q_OBJECT

 public:
  explicit PlanBadge(const QString& planName, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_text;
};
