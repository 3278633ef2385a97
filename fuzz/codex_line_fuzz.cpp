// Any log line yields nothing, a usage with windows, or a documented parse error.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "FuzzInput.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const auto usage = UsageParsing::codexEvent(FuzzInput::bytes(data, size), std::nullopt, FuzzInput::now);
    if (usage && usage->windows.empty()) std::abort();
  } catch (const UsageParseError::invalidResponse&) {
  } catch (const nlohmann::json::exception&) {
  }
  return 0;
}
