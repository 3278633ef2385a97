#include <gtest/gtest.h>

#include "model/ISO8601.h"

TEST(ISO8601Test, ParsesZonesAndFractionsOfAnyLength) {
  const double base = 1775890800;  // 2026-04-11T07:00:00Z
  const std::pair<const char*, double> cases[] = {
      {"2026-04-11T07:00:00Z", base},
      {"2026-04-11T16:00:00+09:00", base},
      {"2026-04-11T01:30:00-05:30", base},
      {"1969-12-31T23:59:59Z", -1},
      {"2024-02-29T00:00:00Z", 1709164800},
      {"2026-04-11T07:00:00.528743+00:00", base + 0.528743},
      {"2026-04-11T07:00:00.123456789123Z", base + 0.123456789},
  };
  for (const auto& [text, expected] : cases) {
    const auto parsed = ISO8601::parse(text);
    ASSERT_TRUE(parsed) << text;
    EXPECT_NEAR(toEpochSeconds(*parsed), expected, 1e-6) << text;
  }
}

TEST(ISO8601Test, RejectsOutOfRangeFieldsAndLooseForms) {
  // One row per rule: calendar, clock and offset ranges, then the strict shape.
  for (const char* text :
       {"2026-02-29T00:00:00Z", "2026-04-31T00:00:00Z", "2026-13-01T00:00:00Z", "2026-04-11T24:00:00Z",
        "2026-04-11T07:00:60Z", "2026-04-11T07:00:00+09:60", "", "2026-04-11T07:00:00", "2026-04-11 07:00:00Z",
        "2026-04-11T07:00:00z", "2026-04-11T07:00Z", "2026-4-11T07:00:00Z", "2026-04-11T07:00:00.Z",
        "2026-04-11T07:00:00,5Z", "2026-04-11T07:00:00+0900", "2026-04-11T07:00:00Z ", "+2026-04-11T07:00:00Z"}) {
    EXPECT_FALSE(ISO8601::parse(text)) << text;
  }
}

TEST(ISO8601Test, FormatsUtcWithRoundedMilliseconds) {
  EXPECT_EQ(ISO8601::format(fromEpochSeconds(1775890800.5287)), "2026-04-11T07:00:00.529Z");
  EXPECT_EQ(ISO8601::format(fromEpochSeconds(-0.25)), "1969-12-31T23:59:59.750Z");
  // Rounding up to the next second carries through the date.
  EXPECT_EQ(ISO8601::format(fromEpochSeconds(1767225599.9996)), "2026-01-01T00:00:00.000Z");
  EXPECT_EQ(ISO8601::format(distantPast()), "0001-01-01T00:00:00.000Z");
}
