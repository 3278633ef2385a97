#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "model/ServiceID.h"
#include "model/UsageWindow.h"

TEST(ServiceID, RawValuesAreExact) {
  EXPECT_EQ(ServiceIDs::fromRaw("Claude"), std::nullopt);
  EXPECT_THROW(nlohmann::json("gemini").get<ServiceID>(), nlohmann::json::exception);
}

TEST(UsageWindow, ConstructorClampsAndTheJsonFormKeepsWhatItReads) {
  EXPECT_EQ(UsageWindow("a", "l", 150).usedPercent, 100);
  EXPECT_EQ(UsageWindow("a", "l", std::nan("")).usedPercent, 0);
  const UsageWindow full("five_hour", "5시간", 38, fromEpochSeconds(1763479153.5), 300);
  EXPECT_EQ(nlohmann::json(full).get<UsageWindow>(), full);
  const auto read = nlohmann::json::parse(R"({"id":"x","label":"y","usedPercent":140})").get<UsageWindow>();
  EXPECT_EQ(read.usedPercent, 140);
  EXPECT_FALSE(read.resetsAt.has_value());
  EXPECT_THROW(
      nlohmann::json::parse(R"({"id":"x","label":"y","usedPercent":1,"windowMinutes":1.5})").get<UsageWindow>(),
      nlohmann::json::exception);
}
