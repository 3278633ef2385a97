#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "codex/CodexRecord.h"
#include "codex/ReverseJSONL.h"
#include "model/PreviewingProvider.h"
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
    std::optional<CodexRecord> record;  // none: no usable record, or unreadable
    TimePoint readAt;                   // the record is worded as of this time, whenever it is reported
  };

  // Opens `relative` below the open folder `folder`; `path` is the same file for messages and tests.
  using Opener = std::function<std::unique_ptr<ReverseJSONL::File>(int folder, const char* relative,
                                                                   const std::filesystem::path&)>;
  using Preview = PreviewingProvider::Preview;

  // With at least `parallelFrom` files to read (0: never), a helper thread reads them too; `open`
  // is then called from both threads.
  explicit CodexLogReader(Clock clock = systemNow, Opener open = ReverseJSONL::openAt,
                          std::size_t parallelFrom = defaultParallelFrom);

  // Blocks while another scan runs. Never throws for missing or unreadable files. `preview` gets
  // the result as soon as no file left to read can change it, unless the scan ends first.
  ServiceUsage readLocal(const std::filesystem::path& root, std::stop_token stop, const Preview& preview = {});

  // Files cached by the last scan, for checks of memory use.
  std::size_t cachedFiles() const { return m_cache.size(); }

  static constexpr const char* noRecordsMessage = "Codex 사용량 기록이 없어요. Codex를 한 번 실행한 뒤 새로고침하세요";
  static constexpr const char* cancelledMessage = "사용량 갱신을 취소했어요";
  // How far a record's time stamp may run ahead of its file's modification time: coarse file
  // system clocks (2 s on some) and the writer's own rounding.
  static constexpr double clockMarginSeconds = 2;
  // Fewer files are read faster than a thread starts.
  static constexpr std::size_t defaultParallelFrom = 16;

 private:
  struct Candidate {
    std::string relative;  // below "sessions"; the cache's key
    TimePoint modified;
    std::uintmax_t size;
    std::uint32_t folder;                                           // index of its folder in the listing
    std::size_t nameAt() const { return relative.rfind('/') + 1; }  // npos + 1 is 0
  };
  struct Listing;
  class Reads;

  // Safe on two threads at once.
  // `folders`: the listing's open folder handles, the first being "sessions" itself.
  std::optional<CodexRecord> readFile(const std::vector<int>& folders, const Candidate& log,
                                      const std::filesystem::path& sessions, ReverseJSONL::Buffers& buffers,
                                      std::stop_token stop) const;

  std::mutex m_mutex;
  std::unordered_map<std::string, Cached> m_cache;  // keyed by the path below "sessions"
  std::filesystem::path m_root;                     // the home the cache belongs to
  Clock m_clock;
  Opener m_open;
  std::size_t m_parallelFrom;
};
