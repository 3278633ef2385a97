#pragma once

#include <filesystem>
#include <memory>

#include "codex/CodexLogReader.h"
#include "model/PreviewingProvider.h"
#include "model/UsageProvider.h"

// ChatGPT usage from the rate-limit records that the Codex command-line tool logs locally.
class CodexUsageProvider : public UsageProvider, public PreviewingProvider {
 public:
  // Reads the Codex home: $CODEX_HOME when set, else ~/.codex.
  CodexUsageProvider();
  explicit CodexUsageProvider(std::filesystem::path root,
                              std::shared_ptr<CodexLogReader> reader = std::make_shared<CodexLogReader>());

  ServiceID service() const override { return ServiceID::codex; }
  ServiceUsage fetch(std::stop_token stop) override { return fetchWithPreview(std::move(stop), {}); }
  // The newest record is handed to `preview` as soon as no log left to read can be newer.
  ServiceUsage fetchWithPreview(std::stop_token stop, const Preview& preview) override;

  const std::filesystem::path& root() const { return m_root; }
  static std::filesystem::path defaultRoot();

 private:
  std::filesystem::path m_root;
  std::shared_ptr<CodexLogReader> m_reader;
};
