#include "views/LevelBadge.h"

#include <QHBoxLayout>

#include "style/Look.h"
#include "views/Labels.h"
#include "views/SymbolLabel.h"
#include "wording/UsageWording.h"

LevelBadge::LevelBadge(UsageLevel level, QWidget* parent) : QWidget(parent) {
  const QColor tint = color(palette(), level);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  const QString symbol = level == UsageLevel::critical ? QStringLiteral("exclamationmark.triangle.fill")
                                                       : QStringLiteral("exclamationmark.circle.fill");
  row->addWidget(new SymbolLabel(symbol, 10, tint, 0, this));
  const QString title = UsageWording::levelWord(level);
  row->addWidget(Labels::make(title, Look::font(10, QFont::DemiBold), tint, this));
  setAccessibleName(title);
}

QColor LevelBadge::color(const QPalette& palette, UsageLevel level) {
  return level == UsageLevel::critical ? Look::red(palette) : Look::orange(palette);
}
