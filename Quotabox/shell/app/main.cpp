#include "app/ClaudeHttpModule.h"
#include "app/DesktopHandOff.h"
#include "app/TerminalRun.h"
#include "store/ProcessMemory.h"

// `quotabox`: reports without loading the GUI libraries; every other mode runs in the desktop
// program, which takes over this process. Qt Network comes in with the HTTP module, on the first
// Claude request only.
int main(int argc, char** argv) {
  ProcessMemory::returnLargeBuffersPromptly();
  LaunchOptions options = TerminalRun::parse(argc, argv);
  // What the command line had that no option took is named, then the run goes on without it.
  for (const auto& line : options.ignoredNotices()) TerminalRun::writeOut(QByteArray::fromStdString(line), stderr);
  options.claudeRequest = ClaudeHttpModule::request(ClaudeUsageTransfer::kExchangeLimit);
  if (const auto status = TerminalRun::run(argv[0], options)) return *status;
  return DesktopHandOff::exec(argv);
}
