#include <gtest/gtest.h>

#include "EventLoop.h"
#include "HttpTestServer.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "claude/ClaudeUsageProvider.h"
#include "codex/CodexUsageProvider.h"
#include "store/UsageStore.h"

using namespace std::chrono_literals;

class UsageStoreLiveTest : public SandboxedTest {};

TEST_F(UsageStoreLiveTest, SignedOutMachineGivesTwoSignedOutServices) {
  sandbox.setEnv("CODEX_HOME", QByteArray::fromStdString(sandbox.path("codex-home").string()));
  const auto store = UsageStore::live();
  // Claude first, then Codex reading the configured home; each store has its own reader.
  ASSERT_EQ(store->providers().size(), 2u);
  EXPECT_NE(dynamic_cast<ClaudeUsageProvider*>(store->providers()[0].get()), nullptr);
  const auto* codex = dynamic_cast<CodexUsageProvider*>(store->providers()[1].get());
  ASSERT_NE(codex, nullptr);
  EXPECT_EQ(codex->root(), sandbox.path("codex-home"));
  EXPECT_NE(store->providers()[1], UsageStore::live()->providers()[1]);

  awaitFuture(store->refresh(), 20s);
  ASSERT_EQ(store->usages().size(), 2u);
  EXPECT_EQ(store->usages().at(ServiceID::claude).status, ProviderStatus::notSignedIn());
  EXPECT_EQ(store->usages().at(ServiceID::codex).status, ProviderStatus::notSignedIn());
  EXPECT_TRUE(store->lastRefresh().has_value());
}

// A Claude request the server never answers must not hold up stopping or quitting.
TEST_F(UsageStoreLiveTest, StalledClaudeRequestNeitherHoldsTheLoopNorTheQuit) {
  HttpTestServer server;
  HttpTestResponse stall;
  stall.mode = HttpTestResponse::Mode::stall;
  server.respondWith(stall);
  sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
  auto claude = std::make_shared<ClaudeUsageProvider>();
  claude->credentials = [] { return std::optional<QByteArray>(R"({"claudeAiOauth":{"accessToken":"t"}})"); };
  claude->requestTimeout = 60s;
  claude->request = ClaudeUsageTransfer::withLimit(60s);
  auto codex = std::make_shared<FakeProvider>(ServiceID::codex, std::vector{okUsage(ServiceID::codex, {}, 1)});
  auto store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{claude, codex});

  // An interval change stops the loop while the request hangs.
  store->start();
  ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1 && codex->calls == 1; }));
  EXPECT_TRUE(store->isRefreshing());
  store->stop();
  EXPECT_TRUE(waitUntil([&] { return !store->isRefreshing(); }, 5s));
  EXPECT_FALSE(store->lastRefresh().has_value());

  store->start();
  ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 2; }, 10s));
  const auto quitting = std::chrono::steady_clock::now();
  store.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - quitting, 2s);
}
