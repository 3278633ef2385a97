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
}  // namespace

UnixSignalQuit::UnixSignalQuit(QObject* parent) : QObject(parent) {
  // pipe + fcntl rather than pipe2, which macOS lacks. Non-blocking, so a flood of signals can
  // never block the handler on a full pipe.
  if (::pipe(g_pipe) != 0) return;
  for (const int end : g_pipe) {
    if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK) != 0) {
      ::close(g_pipe[0]);
      ::close(g_pipe[1]);
      g_pipe[0] = g_pipe[1] = -1;
      return;
    }
  }
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    char byte;
    bool quit = false;
    bool refresh = false;
    while (::read(g_pipe[0], &byte, 1) > 0) {
      (byte == SIGUSR1 ? refresh : quit) = true;
    }
    if (quit) {
      QCoreApplication::quit();
    } else if (refresh && m_refresh) {
      m_refresh();
    }
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

void UnixSignalQuit::onRefreshSignal(std::function<void()> refresh) {
  if (g_pipe[0] < 0) return;
  m_refresh = std::move(refresh);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGUSR1, &action, nullptr);
}

UnixSignalQuit::~UnixSignalQuit() {
  if (g_pipe[0] < 0) return;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  if (m_refresh) std::signal(SIGUSR1, SIG_DFL);
  delete m_notifier;
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}
