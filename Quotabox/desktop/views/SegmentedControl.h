#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

class QButtonGroup;
class QToolButton;

// A row of mutually exclusive segments, one of them selected. Each segment is a focusable button,
// so it is reachable by keyboard and announced by its label. `activated` reports user choices only.
class SegmentedControl : public QWidget {
  Q_OBJECT

 public:
  explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

  int currentIndex() const;
  // Selects without emitting `activated`.
  void setCurrentIndex(int index);
  QToolButton* segment(int index) const { return m_segments.at(static_cast<std::size_t>(index)); }
  int count() const { return static_cast<int>(m_segments.size()); }

 signals:
  void activated(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QButtonGroup* m_group;
  std::vector<QToolButton*> m_segments;
};
