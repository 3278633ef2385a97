#include "statusbar/WaybarLine.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace WaybarLine {

QString cssClass(const StatusGlyph& glyph) {
  bool warning = false;
  bool stale = false;
  for (const StatusSlot& slot : glyph.slots) {
    if (!slot.kind.isValue()) continue;
    if (slot.kind.stale) {
      stale = true;
    } else if (slot.kind.level == UsageLevel::critical) {
      return QStringLiteral("critical");
    } else if (slot.kind.level == UsageLevel::warning) {
      warning = true;
    }
  }
  if (warning) return QStringLiteral("warning");
  return stale ? QStringLiteral("stale") : QStringLiteral("normal");
}

int percentage(const StatusGlyph& glyph) {
  double highest = 0;
  for (const StatusSlot& slot : glyph.slots) {
    if (slot.kind.isValue() && std::isfinite(slot.kind.percent)) highest = std::max(highest, slot.kind.percent);
  }
  return static_cast<int>(std::lround(std::clamp(highest, 0.0, 100.0)));
}

QByteArray format(const StatusGlyph& glyph, const QString& tooltip) { return format(state(glyph, tooltip)); }

QByteArray format(const EngineState& state) {
  const QJsonObject line{{QStringLiteral("text"), state.text},
                         {QStringLiteral("tooltip"), state.report},
                         {QStringLiteral("class"), state.cssClass},
                         {QStringLiteral("percentage"), state.percentage}};
  return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

EngineState state(const StatusGlyph& glyph, const QString& tooltip) {
  return {glyph.textLabel(), cssClass(glyph), percentage(glyph), tooltip, false};
}

}  // namespace WaybarLine
