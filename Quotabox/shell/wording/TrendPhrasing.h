#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "trends/WindowTrend.h"
#include "wording/TrendPresentation.h"

// Korean words for a window's forecast: the trend row, the expanded detail and the spoken summary
// of the sparkline. Pure functions of the trend, the window and the time.
namespace TrendPhrasing {

// Absent when no trend row should be shown. `isCurrent`: the window's figures come from the
// latest successful fetch and are still fresh.
std::optional<TrendPresentation> presentation(const WindowTrend& trend, const UsageWindow& window, TimePoint now,
                                              bool isCurrent);

// A duration rounded to a step that suits its size ("45분", rough "50분").
QString projection(double seconds, bool rough);

// The lines under the detail sparkline: rate, projection, reset, basis.
QStringList detailLines(const WindowTrend& trend, const UsageWindow& window, TimePoint now);

// "최근 추이: …" for the sparkline.
QString spoken(const std::vector<UsageSample>& samples, TimePoint now);

// Label of the chart's left edge: "방금" or "3시간 20분 전".
QString axisStart(TimePoint firstSample, TimePoint now);

}  // namespace TrendPhrasing
