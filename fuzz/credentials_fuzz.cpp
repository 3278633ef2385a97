// Any credentials document ends in credentials or a documented parse error.
#include <nlohmann/json.hpp>

#include "FuzzInput.h"
#include "claude/ClaudeCredentials.h"
#include "model/UsageParseError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    (void)ClaudeCredentials::parse(FuzzInput::bytes(data, size));
  } catch (const UsageParseError::invalidResponse&) {
  } catch (const nlohmann::json::exception&) {
  }
  return 0;
}
