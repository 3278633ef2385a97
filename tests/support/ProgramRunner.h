#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <vector>

#include "BuildPaths.h"
#include "EventLoop.h"

// What a program that ran to its end left behind; the status is -1 when it did not exit normally.
struct ProgramResult {
  int exitCode = -1;
  QByteArray out, err;
};

// A program a test started, and the lines of standard output read from it so far; killed if it
// still runs when the test ends.
struct StartedProgram {
  std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
  QList<QByteArray> lines;

  ~StartedProgram() {
    if (ended()) return;
    process->kill();
    process->waitForFinished(5000);
  }
  // Reads the complete lines waiting; returns how many have been read in all.
  int read() {
    while (process->canReadLine()) lines << process->readLine();
    return static_cast<int>(lines.size());
  }
  bool ended() const { return process->state() == QProcess::NotRunning; }
  // Waits (running the event loop) for the end and collects what was not read yet.
  ProgramResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    EXPECT_TRUE(waitUntil([this] { return ended(); }, timeout)) << process->program().toStdString() << " did not end";
    return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1, process->readAllStandardOutput(),
            process->readAllStandardError()};
  }
  // SIGTERM, then finish().
  ProgramResult stop() {
    process->terminate();
    return finish();
  }
  pid_t pid() const { return static_cast<pid_t>(process->processId()); }
  // To this process only, never a group; a process that ended has no id.
  void signal(int number) const {
    if (pid() > 0) ::kill(pid(), number);
  }
  QByteArray err() { return process->readAllStandardError(); }
};

// Starts programs (the launcher unless named) with the test's environment minus every display
// variable, plus `extra`.
class ProgramRunner {
 public:
  using Environment = std::map<QString, QString>;

  StartedProgram& start(const QStringList& arguments, const Environment& extra = {},
                        const QString& program = BuildPaths::launcher()) {
    StartedProgram& started = *m_programs.emplace_back(std::make_unique<StartedProgram>());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
    for (const auto& [name, value] : extra) env.insert(name, value);
    started.process->setProcessEnvironment(env);
    started.process->start(program, arguments);
    EXPECT_TRUE(started.process->waitForStarted(10000)) << program.toStdString();
    return started;
  }
  ProgramResult run(const QStringList& arguments, const Environment& extra = {},
                    const QString& program = BuildPaths::launcher()) {
    return start(arguments, extra, program).finish();
  }
  // The display this test session runs on, to pass on to a graphical start.
  static Environment display() { return {{"DISPLAY", qEnvironmentVariable("DISPLAY")}}; }

 private:
  std::vector<std::unique_ptr<StartedProgram>> m_programs;
};
