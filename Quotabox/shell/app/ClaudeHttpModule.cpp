#include "app/ClaudeHttpModule.h"

#include <dlfcn.h>

#include <QFile>
#include <memory>
#include <mutex>

#include "app/DesktopHandOff.h"
#include "app/TerminalRun.h"

namespace {

constexpr char kModuleName[] = "quotabox-http.so";

// Never unloaded: Qt Network keeps global state (plugins, thread-local managers) to the end.
ClaudeUsageTransfer::ModuleEntry loadModule(QString path) {
  if (path.isEmpty()) path = ClaudeHttpModule::modulePath(DesktopHandOff::ownExecutable());
  void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
  void* symbol = handle ? ::dlsym(handle, ClaudeUsageTransfer::kModuleEntryName) : nullptr;
  if (symbol == nullptr) {
    // dlerror() names the file and what the loader missed; nothing of any request.
    const char* reason = ::dlerror();
    TerminalRun::writeOut(
        QStringLiteral("Quotabox HTTP 모듈(%1)을 불러오지 못해 Claude 사용량을 요청할 수 없어요: %2\n")
            .arg(path, QString::fromLocal8Bit(reason ? reason : "unknown"))
            .toUtf8(),
        stderr);
    return nullptr;
  }
  return reinterpret_cast<ClaudeUsageTransfer::ModuleEntry>(symbol);
}

// Shared by the copies of one request function.
struct Loader {
  QString path;
  std::once_flag once;
  ClaudeUsageTransfer::ModuleEntry entry = nullptr;
};

}  // namespace

namespace ClaudeHttpModule {

QString modulePath(const QString& launcher) {
  return DesktopHandOff::companionFile(launcher, QLatin1String(kModuleName));
}

ClaudeUsageRequestFunction request(std::chrono::milliseconds limit, QString path) {
  auto loader = std::make_shared<Loader>();
  loader->path = std::move(path);
  return [limit, loader](const ClaudeUsageRequest& request) {
    using ClaudeUsageTransfer::Outcome;
    // Concurrent first callers wait here for the one that loads.
    std::call_once(loader->once, [&loader] { loader->entry = loadModule(loader->path); });
    if (loader->entry == nullptr) throw TransportError("HTTP module unavailable");
    ClaudeUsageResponse response;
    switch (static_cast<Outcome>(loader->entry(&request, limit.count(), &response))) {
      case Outcome::answered:
        return response;
      case Outcome::tooLarge:
        throw ResponseTooLargeError("usage answer too large");
      case Outcome::transportFailed:
        break;
    }
    throw TransportError("transfer failed");
  };
}

}  // namespace ClaudeHttpModule
