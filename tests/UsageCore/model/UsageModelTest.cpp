#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"
#include "model/UsageWindow.h"

TEST(ServiceID, RawValuesAndDisplayNames) {
  EXPECT_EQ(ServiceIDs::id(ServiceID::claude), "claude");
  EXPECT_EQ(ServiceIDs::displayName(ServiceID::codex), "ChatGPT (Codex)");
  EXPECT_EQ(ServiceIDs::fromRaw("codex"), ServiceID::codex);
  EXPECT_EQ(ServiceIDs::fromRaw("Claude"), std::nullopt);
  EXPECT_EQ(ServiceIDs::fromRaw("CODEX"), std::nullopt);
  EXPECT_EQ(ServiceIDs::fromRaw(""), std::nullopt);
  ASSERT_EQ(ServiceIDs::allCases.size(), 2u);
  EXPECT_EQ(ServiceIDs::allCases[0], ServiceID::claude);
  EXPECT_EQ(nlohmann::json(ServiceID::codex), "codex");
  EXPECT_THROW(nlohmann::json("gemini").get<ServiceID>(), nlohmann::json::exception);
}

TEST(UsageWindow, ConstructorClampsButAssignmentDoesNot) {
  EXPECT_EQ(UsageWindow("a", "l", -5).usedPercent, 0);
  EXPECT_EQ(UsageWindow("a", "l", 150).usedPercent, 100);
  EXPECT_EQ(UsageWindow("a", "l", std::nan("")).usedPercent, 0);
  UsageWindow window("a", "l", 42.5);
  EXPECT_EQ(window.usedPercent, 42.5);
  EXPECT_EQ(window.remainingPercent(), 57.5);
  window.usedPercent = 130;
  EXPECT_EQ(window.usedPercent, 130);
}

TEST(UsageWindow, JsonFormOmitsAbsentKeysAndDoesNotClampOnRead) {
  const nlohmann::json bare = UsageWindow("seven_day", "주간", 21);
  EXPECT_EQ(bare.size(), 3u);
  EXPECT_TRUE(bare.contains("id") && bare.contains("label") && bare.contains("usedPercent"));

  const UsageWindow full("five_hour", "5시간", 38, fromEpochSeconds(1763479153.5), 300);
  EXPECT_EQ(nlohmann::json(full).get<UsageWindow>(), full);

  const auto read = nlohmann::json::parse(R"({"id":"x","label":"y","usedPercent":140})").get<UsageWindow>();
  EXPECT_EQ(read.usedPercent, 140);
  EXPECT_FALSE(read.resetsAt.has_value());
  EXPECT_THROW(
      nlohmann::json::parse(R"({"id":"x","label":"y","usedPercent":1,"windowMinutes":1.5})").get<UsageWindow>(),
      nlohmann::json::exception);
}

TEST(ServiceUsage, PeakAndLookup) {
  ServiceUsage usage = ServiceUsage::failure(ServiceID::claude, fromEpochSeconds(0), ProviderStatus::ok());
  EXPECT_EQ(usage.peakUsedPercent(), 0);
  usage.windows = {UsageWindow("five_hour", "5시간", 38), UsageWindow("seven_day", "주간", 21),
                   UsageWindow("seven_day_opus", "주간 (Opus)", 9)};
  EXPECT_EQ(usage.peakUsedPercent(), 38);
  ASSERT_NE(usage.window("seven_day"), nullptr);
  EXPECT_EQ(usage.window("seven_day")->usedPercent, 21);
  EXPECT_EQ(usage.window("codex_primary"), nullptr);
  EXPECT_EQ(usage.id(), ServiceID::claude);
}
