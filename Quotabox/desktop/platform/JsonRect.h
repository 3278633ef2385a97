#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QRectF>
#include <optional>

// A compositor's rectangle, {"x", "y", "width", "height"}; none for anything else or an empty one.
inline std::optional<QRectF> jsonRect(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject r = value.toObject();
  const QRectF rect(r.value(QLatin1String("x")).toDouble(), r.value(QLatin1String("y")).toDouble(),
                    r.value(QLatin1String("width")).toDouble(), r.value(QLatin1String("height")).toDouble());
  if (rect.isEmpty()) return std::nullopt;
  return rect;
}
