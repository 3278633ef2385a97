#include "app/UnixSignalQuit.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int signal) {
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}

void setHandler(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

void setRefreshSignalBlocked(bool blocked) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGUSR1);
  ::sigprocmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}
}  // namespace

void UnixSignalQuit::holdRefreshSignal() { setRefreshSignalBlocked(true); }

void UnixSignalQuit::installEarly() {
  if (g_pipe[0] >= 0) return;
  // pipe + fcntl rather than pipe2, which macOS lacks. Non-blocking, so a flood of signals can
  // never block the handler on a full pipe.
  if (::pipe(g_pipe) != 0) return;
  for (const int end : g_pipe) {
    if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK) != 0) {
      ::close(g_pipe[0]);
      ::close(g_pipe[1]);
      g_pipe[0] = g_pipe[1] = -1;
      // Without the pipe a refresh signal must at least not kill the process.
      std::signal(SIGUSR1, SIG_IGN);
      setRefreshSignalBlocked(false);
      return;
    }
  }
  setHandler(SIGINT, onSignal);
  setHandler(SIGTERM, onSignal);
  setHandler(SIGUSR1, onSignal);
  setRefreshSignalBlocked(false);
}

UnixSignalQuit::UnixSignalQuit(QObject* parent) : QObject(parent) {
  installEarly();
  if (g_pipe[0] < 0) return;
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    char byte;
    bool quit = false;
    bool refresh = false;
    while (::read(g_pipe[0], &byte, 1) > 0) {
      (byte == SIGUSR1 ? refresh : quit) = true;
    }
    if (quit) {
      m_quitRequested = true;
      QCoreApplication::quit();
    } else if (refresh && m_refresh) {
      m_refresh();
    }
  });
}

void UnixSignalQuit::onRefreshSignal(std::function<void()> refresh) { m_refresh = std::move(refresh); }

void UnixSignalQuit::release() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGUSR1, SIG_IGN);
  setRefreshSignalBlocked(false);
  if (g_pipe[0] < 0) return;
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

UnixSignalQuit::~UnixSignalQuit() {
  // What runs after the event loop (a fallback report) ends on SIGINT and SIGTERM as usual.
  delete m_notifier;
  release();
}
