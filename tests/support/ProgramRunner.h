#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "BuildPaths.h"

// What a program that ran to its end left behind; the status is -1 when it did not exit normally.
struct ProgramResult {
  int exitCode = -1;
  QByteArray out, err;
};

// A program a test started, and the lines of standard output read from it so far.
class StartedProgram {
 public:
  explicit StartedProgram(std::unique_ptr<QProcess> process) : process(std::move(process)) {}
  ~StartedProgram();

  // Reads the complete lines waiting; returns how many have been read in all.
  int read();
  bool ended() const { return process->state() == QProcess::NotRunning; }
  // Waits (running the event loop) for the end; false when it did not come in time.
  bool waitEnded(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Waits for the end and collects what was not read yet.
  ProgramResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // SIGTERM, then finish().
  ProgramResult stop() {
    process->terminate();
    return finish();
  }
  pid_t pid() const { return static_cast<pid_t>(process->processId()); }
  // To this process only, never a group; a process that ended has no id.
  void signal(int number) const;
  QByteArray err() { return process->readAllStandardError(); }

  std::unique_ptr<QProcess> process;
  QList<QByteArray> lines;
};

// Starts programs (the launcher unless named) with the test's environment minus every display
// variable, plus `extra`; ends those still running when it goes.
class ProgramRunner {
 public:
  using Environment = std::map<QString, QString>;

  StartedProgram& start(const QStringList& arguments, const Environment& extra = {},
                        const QString& program = BuildPaths::launcher());
  ProgramResult run(const QStringList& arguments, const Environment& extra = {},
                    const QString& program = BuildPaths::launcher()) {
    return start(arguments, extra, program).finish();
  }
  // The display this test session runs on, to pass on to a graphical start.
  static Environment display();

 private:
  std::vector<std::unique_ptr<StartedProgram>> m_programs;
};
