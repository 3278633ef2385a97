#include "claude/ClaudeUsageProvider.h"
#include "codex/CodexUsageProvider.h"
#include "store/UsageStore.h"

std::unique_ptr<UsageStore> UsageStore::live(HistoryStore::Access access, ClaudeUsageRequestFunction claudeRequest) {
  auto claude = std::make_shared<ClaudeUsageProvider>();
  if (claudeRequest) claude->request = std::move(claudeRequest);
  std::vector<std::shared_ptr<UsageProvider>> providers{std::move(claude), std::make_shared<CodexUsageProvider>()};
  auto history =
      std::make_shared<HistoryStore>(HistoryStore::defaultFileURL(), HistoryStore::Policy::standard(), access);
  return std::make_unique<UsageStore>(std::move(providers), std::move(history), systemNow);
}
