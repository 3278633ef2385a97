#include "app/QuotaboxApp.h"
#include "store/ProcessMemory.h"

int main(int argc, char** argv) {
  // Set again: the hand-off replaced the launcher's process image and its allocator settings.
  ProcessMemory::returnLargeBuffersPromptly();
  return QuotaboxApp::run(argc, argv);
}
