#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "codex/ReverseJSONL.h"
#include "model/ServiceUsage.h"
#include "model/TimePoint.h"

// Finds the newest rate-limit record in the Codex session logs under a Codex home. One scan
// runs at a time; what each log file yielded is remembered until its modification time or
// size changes, so unchanged files are never opened again.
class CodexLogReader {
 public:
  // The remembered outcome for one log file.
  struct Cached {
    TimePoint modified;
    std::uintmax_t size = 0;
    std::optional<ServiceUsage> usage;  // none: no usable record, or unreadable
  };

  explicit CodexLogReader(Clock clock = systemNow, ReverseJSONL::Opener open = ReverseJSONL::openFile);

  // Blocks while another scan runs. Never throws for missing or unreadable files.
  ServiceUsage readLocal(const std::filesystem::path& root, std::stop_token stop);

  static constexpr const char* noRecordsMessage = "Codex 사용량 기록이 없어요. Codex를 한 번 실행한 뒤 새로고침하세요";
  static constexpr const char* cancelledMessage = "사용량 갱신을 취소했어요";

 private:
  struct Candidate {
    std::filesystem::path path;
    TimePoint modified;
    std::uintmax_t size;
  };

  std::vector<Candidate> candidates(const std::filesystem::path& sessions, bool& listed) const;
  std::optional<ServiceUsage> readFile(const std::filesystem::path& path, std::stop_token stop);

  std::mutex m_mutex;
  std::unordered_map<std::string, Cached> m_cache;  // keyed by native path
  Clock m_clock;
  ReverseJSONL::Opener m_open;
};
