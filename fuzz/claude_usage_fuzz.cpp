// Any body of the usage endpoint ends in a usage or a documented parse error.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "FuzzInput.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const ServiceUsage usage = UsageParsing::claude(FuzzInput::bytes(data, size), std::string("max"), FuzzInput::now);
    for (const auto& window : usage.windows) {
      if (!(window.usedPercent >= 0 && window.usedPercent <= 100)) std::abort();
    }
  } catch (const UsageParseError::invalidResponse&) {
  } catch (const nlohmann::json::exception&) {
  }
  return 0;
}
