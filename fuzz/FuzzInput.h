#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "model/TimePoint.h"

// Shared pieces of the fuzz targets: the input as Qt bytes and a fixed clock.
namespace FuzzInput {

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

inline const TimePoint now = fromEpochSeconds(1788260000);

}  // namespace FuzzInput
