// The plan reader never throws, whatever the auth document holds.
#include "FuzzInput.h"
#include "model/UsageParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)UsageParsing::codexPlan(FuzzInput::bytes(data, size));
  return 0;
}
