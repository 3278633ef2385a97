#include <csignal>

#include "app/ClaudeHttpModule.h"
#include "app/DesktopHandOff.h"
#include "app/TerminalRun.h"
#include "store/ProcessMemory.h"

// `quotabox`: reports without loading the GUI libraries; every other mode runs in the desktop
// program, which takes over this process. Qt Network comes in with the HTTP module, on the first
// Claude request only.
int main(int argc, char** argv) {
  // A status bar may send its refresh signal before the desktop program has a handler: held until
  // then (the block survives the hand-off), never the default end of the process.
  sigset_t refreshSignal;
  sigemptyset(&refreshSignal);
  sigaddset(&refreshSignal, SIGUSR1);
  sigprocmask(SIG_BLOCK, &refreshSignal, nullptr);
  ProcessMemory::returnLargeBuffersPromptly();
  LaunchOptions options = TerminalRun::parse(argc, argv);
  // What the command line had that no option took is named, then the run goes on without it.
  for (const auto& line : options.ignoredNotices()) TerminalRun::writeOut(QByteArray::fromStdString(line), stderr);
  options.claudeRequest = ClaudeHttpModule::request(ClaudeUsageTransfer::kExchangeLimit);
  if (const auto status = TerminalRun::run(argv[0], options)) return *status;
  return DesktopHandOff::exec(argv);
}
