// Any settings file ends in its keys or in "unreadable", and what it reads is written back in a
// form that reads again to the same file.
#include <cstdlib>

#include "FuzzInput.h"
#include "settings/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto values = SettingsFile::parse(FuzzInput::bytes(data, size));
  if (!values) return 0;
  const QByteArray written = SettingsFile::encode(*values);
  const auto again = SettingsFile::parse(written);
  if (!again || SettingsFile::encode(*again) != written) std::abort();
  return 0;
}
