// The quick reading of a log line always agrees with the general decoder, errors counting as none.
#include <cstdlib>
#include <exception>
#include <string_view>

#include "codex/CodexRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::optional<CodexRecord> expected;
  try {
    expected = CodexRecord::decode(line);
  } catch (const std::exception&) {
  }
  if (CodexRecord::fromLine(line) != expected) std::abort();
  return 0;
}
