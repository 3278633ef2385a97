#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "tray/PopoverPlacer.h"

// What a placer answered to a look-up, and whether it answered at all.
struct AreaResult {
  bool called = false;
  std::optional<PopoverArea> area;
};

// A handler that records the answer and fails the test when the placer answers twice.
inline PopoverPlacer::AreaHandler recordInto(AreaResult& result) {
  return [&result](std::optional<PopoverArea> area) {
    EXPECT_FALSE(result.called) << "answered twice";
    result.called = true;
    result.area = area;
  };
}
