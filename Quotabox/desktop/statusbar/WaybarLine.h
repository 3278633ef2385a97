#pragma once

#include <QByteArray>
#include <QString>

#include "glyph/StatusGlyph.h"
#include "platform/EngineState.h"

// One line of waybar's custom-module protocol: {"text", "tooltip", "class", "percentage"}.
namespace WaybarLine {

// "critical" or "warning" when a fresh value is at that level (as the glyph colours it),
// else "stale" when a value is outdated, else "normal".
QString cssClass(const StatusGlyph& glyph);
// The highest used percent among the slots with a value, rounded; 0 without values.
int percentage(const StatusGlyph& glyph);
// Compact JSON ending in a newline; `tooltip` is the text report.
QByteArray format(const StatusGlyph& glyph, const QString& tooltip);
// The same line from the fields an engine publishes.
QByteArray format(const EngineState& state);
// The fields of the line for `glyph`; not yet ready.
EngineState state(const StatusGlyph& glyph, const QString& tooltip);

}  // namespace WaybarLine
