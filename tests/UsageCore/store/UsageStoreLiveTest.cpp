#include <gtest/gtest.h>

#include "claude/ClaudeUsageProvider.h"
#include "codex/CodexUsageProvider.h"
#include "EventLoop.h"
#include "TestSandbox.h"
#include "store/UsageStore.h"

class UsageStoreLiveTest : public SandboxedTest {};

TEST_F(UsageStoreLiveTest, ClaudeFirstThenCodexWithSeparateReaders) {
  sandbox.setEnv("CODEX_HOME", QByteArray::fromStdString(sandbox.path("codex-home").string()));
  const auto first = UsageStore::live();
  const auto second = UsageStore::live();
  ASSERT_EQ(first->providers().size(), 2u);
  EXPECT_NE(dynamic_cast<ClaudeUsageProvider*>(first->providers()[0].get()), nullptr);
  const auto* codex = dynamic_cast<CodexUsageProvider*>(first->providers()[1].get());
  ASSERT_NE(codex, nullptr);
  EXPECT_EQ(codex->root(), sandbox.path("codex-home"));
  EXPECT_NE(first->providers()[1], second->providers()[1]);
  EXPECT_FALSE(first->mockScenario().has_value());
}

TEST_F(UsageStoreLiveTest, SignedOutMachineGivesTwoSignedOutServicesAndRecordsNothing) {
  const auto store = UsageStore::live();
  awaitFuture(store->refresh(), std::chrono::seconds(20));
  ASSERT_EQ(store->usages().size(), 2u);
  EXPECT_EQ(store->usages().at(ServiceID::claude).status, ProviderStatus::notSignedIn());
  EXPECT_EQ(store->usages().at(ServiceID::codex).status, ProviderStatus::notSignedIn());
  EXPECT_TRUE(store->lastRefresh().has_value());
}
