#include "app/QuotaboxApp.h"
#include "store/ProcessMemory.h"

int main(int argc, char** argv) {
  ProcessMemory::returnLargeBuffersPromptly();
  return QuotaboxApp::run(argc, argv);
}
