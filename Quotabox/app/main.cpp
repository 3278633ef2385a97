#include "app/DesktopHandOff.h"
#include "app/TerminalRun.h"
#include "store/ProcessMemory.h"

// `quotabox`: reports without loading the GUI libraries; every other mode runs in the desktop
// program, which takes over this process.
int main(int argc, char** argv) {
  ProcessMemory::returnLargeBuffersPromptly();
  if (const auto status = TerminalRun::run(argv[0], TerminalRun::parse(argc, argv))) return *status;
  return DesktopHandOff::exec(argv);
}
