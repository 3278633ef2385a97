#include "app/QuotaboxApp.h"
#include "app/UnixSignalQuit.h"
#include "store/ProcessMemory.h"

int main(int argc, char** argv) {
  // Before anything else: a status bar's refresh signal or a stop may come at any moment.
  UnixSignalQuit::holdRefreshSignal();
  UnixSignalQuit::installEarly();
  // Set again: the hand-off replaced the launcher's process image and its allocator settings.
  ProcessMemory::returnLargeBuffersPromptly();
  ProcessMemory::shareArenas();
  return QuotaboxApp::run(argc, argv);
}
