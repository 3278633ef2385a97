#include <QCoreApplication>
#include <cstdio>
#include <cstring>

// The application object takes over the command line once it exists; until then the
// executable answers --help and --version.
int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("Quotabox %s\n", QUOTABOX_VERSION);
      return 0;
    }
  }
  std::printf("사용법: quotabox [옵션]\n\n  --help     이 도움말을 보여 줘요\n  --version  버전을 보여 줘요\n");
  return 0;
}
