#pragma once

#include <QWidget>

#include "settings/UsageLevel.h"

// "주의" in orange or "한도 임박" in red, with their symbol, beside a window's label.
class LevelBadge : public QWidget {
  Q_OBJECT

 public:
  // Only for warning and critical.
  explicit LevelBadge(UsageLevel level, QWidget* parent = nullptr);

  static QColor color(const QPalette& palette, UsageLevel level);
};
