#include <gtest/gtest.h>

#include "TestSandbox.h"
#include "claude/ClaudeUsageProvider.h"
#include "codex/CodexUsageProvider.h"
#include "store/UsageStore.h"

class UsageStoreLiveTest : public SandboxedTest {};

TEST_F(UsageStoreLiveTest, ReadsClaudeThenCodexFromItsConfiguredHome) {
  sandbox.setEnv("CODEX_HOME", QByteArray::fromStdString(sandbox.path("codex-home").string()));
  const auto store = UsageStore::live();
  // Claude first, then Codex reading the configured home; each store has its own reader.
  ASSERT_EQ(store->providers().size(), 2u);
  EXPECT_NE(dynamic_cast<ClaudeUsageProvider*>(store->providers()[0].get()), nullptr);
  const auto* codex = dynamic_cast<CodexUsageProvider*>(store->providers()[1].get());
  ASSERT_NE(codex, nullptr);
  EXPECT_EQ(codex->root(), sandbox.path("codex-home"));
  EXPECT_NE(store->providers()[1], UsageStore::live()->providers()[1]);
}
