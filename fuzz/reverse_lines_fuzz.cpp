// The backwards line reader offers exactly the lines a forward split finds, last first, for any
// file content, chunk size and line limit.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codex/ReverseJSONL.h"

namespace {

std::filesystem::path scratchFile() {
  static const std::filesystem::path path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "quotabox-reverse-fuzz-XXXXXX").string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) std::abort();
    ::close(fd);
    return std::filesystem::path(name);
  }();
  return path;
}

std::vector<std::string> forwardLines(std::string_view content, std::size_t maximumLine) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    const std::size_t length = end - start;
    if (length > 0 && length <= maximumLine) lines.emplace_back(content.substr(start, length));
    start = end + 1;
  }
  return {lines.rbegin(), lines.rend()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t chunkSize = 1 + data[0];
  const std::size_t maximumLine = data[1] < 200 ? 1 + data[1] % 64 : ReverseJSONL::defaultMaximumLine;
  const std::string_view content(reinterpret_cast<const char*>(data) + 2, size - 2);

  const auto path = scratchFile();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  std::vector<std::string> seen;
  ReverseJSONL::visitLines(
      path, chunkSize, maximumLine,
      [&](std::string_view line) {
        seen.emplace_back(line);
        return false;
      },
      std::stop_token());
  if (seen != forwardLines(content, maximumLine)) std::abort();
  return 0;
}
