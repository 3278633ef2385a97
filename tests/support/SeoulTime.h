#pragma once

#include <gtest/gtest.h>

#include "wording/KoreanTime.h"

// 2025-11-19 15:05:00 in Seoul (UTC+9, no daylight saving).
inline const TimePoint kSeoulAfternoon = fromEpochSeconds(1763532300);

// Korean time words are formatted in Seoul time for the length of one test.
class SeoulTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { KoreanTime::setTimeZoneForTesting("Asia/Seoul"); }
  void TearDown() override { KoreanTime::setTimeZoneForTesting(nullptr); }
};
