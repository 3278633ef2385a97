#include "claude/ClaudeCredentials.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QtGlobal>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>

#include "files/FileDescriptor.h"
#include "files/RegularFile.h"
#include "model/BoundedJSON.h"
#include "model/UsageParseError.h"

extern char** environ;

namespace {

using json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

constexpr auto kToolTimeout = std::chrono::seconds(5);
constexpr int kItemNotFoundStatus = 44;
// The document is a few kilobytes; a tool printing far more, or a file far larger, is not Claude
// Code's.
constexpr qsizetype kMaxDocumentBytes = 4 * 1024 * 1024;

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

// Kills the child's whole process group, so helpers it started cannot keep the pipe open.
void killChild(pid_t pid) {
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
}

// Waits for the child until the deadline; false when it is still running then.
bool waitForExitUntil(pid_t pid, SteadyClock::time_point deadline, int& status) {
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) {
      status = -1;
      return true;
    }
    if (SteadyClock::now() >= deadline) return false;
    ::usleep(2000);
  }
}

int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

// Reads until end of file. Returns false when the deadline passed or the output grew too large.
bool readAll(int fd, SteadyClock::time_point deadline, QByteArray& output) {
  char buffer[4096];
  for (;;) {
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (remaining.count() <= 0) return false;
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(remaining.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) continue;  // the deadline check above ends the loop
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    if (count == 0) return true;
    output.append(buffer, count);
    if (output.size() > kMaxDocumentBytes) return false;
  }
}

std::string credentialsFilePath() {
  const QByteArray configDir = qgetenv("CLAUDE_CONFIG_DIR");
  if (!configDir.isEmpty()) return configDir.toStdString() + "/.credentials.json";
  return QDir::homePath().toStdString() + "/.claude/.credentials.json";
}

}  // namespace

std::optional<ClaudeCredentials> ClaudeCredentials::parse(const QByteArray& bytes) {
  json document;
  try {
    document = BoundedJSON::parse(bytes);
  } catch (const json::parse_error& error) {
    // The library quotes the text it last read, which may be part of the token: keep only the place.
    throw json::parse_error::create(error.id, error.byte, "the credentials are not valid JSON", nullptr);
  }
  if (!document.is_object()) throw json::type_error::create(302, "the credentials are not an object", nullptr);
  // Claude Code keeps other logins (MCP servers) in the same document; without its own there is
  // no Claude login.
  const auto found = document.find("claudeAiOauth");
  if (found == document.end()) return std::nullopt;
  const json& oauth = *found;
  ClaudeCredentials credentials;
  credentials.accessToken = oauth.at("accessToken").get<std::string>();
  if (const auto plan = oauth.find("subscriptionType"); plan != oauth.end() && !plan->is_null()) {
    credentials.subscriptionType = plan->get<std::string>();
  }
  if (credentials.accessToken.empty()) throw UsageParseError::invalidResponse();
  return credentials;
}

std::optional<QByteArray> ClaudeCredentials::readKeychain(const std::string& toolPath) {
  int pipeEnds[2];
  // pipe + fcntl rather than pipe2, which macOS lacks.
  if (::pipe(pipeEnds) != 0) throw LaunchError(errno, std::generic_category(), "pipe");
  FileDescriptor readEnd(pipeEnds[0]);
  FileDescriptor writeEnd(pipeEnds[1]);
  for (const int end : pipeEnds) {
    if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0) throw LaunchError(errno, std::generic_category(), "pipe");
  }

  SpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&setup.attributes, 0);

  std::string tool = toolPath;
  std::string findCommand = "find-generic-password";
  std::string serviceFlag = "-s";
  std::string serviceName = "Claude Code-credentials";
  std::string secretFlag = "-w";
  char* const arguments[] = {tool.data(),        findCommand.data(), serviceFlag.data(),
                             serviceName.data(), secretFlag.data(),  nullptr};

  pid_t pid = 0;
  const int spawnError = ::posix_spawn(&pid, tool.c_str(), &setup.actions, &setup.attributes, arguments, environ);
  if (spawnError != 0) throw LaunchError(spawnError, std::generic_category(), "cannot start " + toolPath);
  writeEnd.reset();

  // Reading comes first (a full pipe would stall the tool), then waiting; both share the deadline.
  const auto deadline = SteadyClock::now() + kToolTimeout;
  QByteArray output;
  int status = 0;
  bool complete = readAll(readEnd.get(), deadline, output) && waitForExitUntil(pid, deadline, status);
  if (!complete) {
    killChild(pid);
    status = waitForExit(pid);
  }

  if (!complete || status < 0 || !WIFEXITED(status)) throw UsageParseError::invalidResponse();
  if (WEXITSTATUS(status) == kItemNotFoundStatus) return std::nullopt;
  if (WEXITSTATUS(status) != 0) throw UsageParseError::invalidResponse();
  return output;
}

std::optional<QByteArray> ClaudeCredentials::readCredentialsFile() {
  const std::string path = credentialsFilePath();
  std::error_code error;
  const auto contents = RegularFile::read(path, kMaxDocumentBytes, error);
  if (contents) return QByteArray::fromStdString(*contents);
  if (error == std::errc::no_such_file_or_directory) return std::nullopt;
  throw std::system_error(error, "cannot read " + path);
}

std::optional<QByteArray> ClaudeCredentials::readDefault() {
#ifdef Q_OS_MACOS
  return readKeychain();
#else
  return readCredentialsFile();
#endif
}
