#include <gtest/gtest.h>

#include <QFile>

#include "ClaudeUsageProvider.h"
#include "CodexUsageProvider.h"
#include "EventLoop.h"
#include "TestSandbox.h"
#include "UsageStore.h"

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

TEST_F(UsageStoreLiveTest, ReadOnlyLiveStoreLeavesTheHistoryFileAlone) {
  const auto file = HistoryStore::defaultFileURL();
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(*file, sandbox.path(".local/share/Quotabox/history.json"));
  sandbox.writeFile(".local/share/Quotabox/history.json", "damaged");
  {
    const auto store = UsageStore::live(HistoryStore::Access::readOnly);
    awaitFuture(store->refresh(), std::chrono::seconds(20));
    EXPECT_TRUE(store->history().empty());
  }
  QFile kept(QString::fromStdString(file->string()));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("damaged"));
}
