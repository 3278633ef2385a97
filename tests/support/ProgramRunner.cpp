#include "ProgramRunner.h"

#include <gtest/gtest.h>

#include <csignal>

#include "EventLoop.h"

StartedProgram::~StartedProgram() {
  if (ended()) return;
  process->kill();
  process->waitForFinished(5000);
}

int StartedProgram::read() {
  while (process->canReadLine()) lines << process->readLine();
  return static_cast<int>(lines.size());
}

bool StartedProgram::waitEnded(std::chrono::milliseconds timeout) {
  return waitUntil([this] { return ended(); }, timeout);
}

ProgramResult StartedProgram::finish(std::chrono::milliseconds timeout) {
  EXPECT_TRUE(waitEnded(timeout)) << process->program().toStdString() << " did not end";
  return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1, process->readAllStandardOutput(),
          process->readAllStandardError()};
}

void StartedProgram::signal(int number) const {
  if (pid() > 0) ::kill(pid(), number);
}

StartedProgram& ProgramRunner::start(const QStringList& arguments, const Environment& extra, const QString& program) {
  auto process = std::make_unique<QProcess>();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
  for (const auto& [name, value] : extra) env.insert(name, value);
  process->setProcessEnvironment(env);
  process->start(program, arguments);
  EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
  return *m_programs.emplace_back(std::make_unique<StartedProgram>(std::move(process)));
}

ProgramRunner::Environment ProgramRunner::display() { return {{"DISPLAY", qEnvironmentVariable("DISPLAY")}}; }
