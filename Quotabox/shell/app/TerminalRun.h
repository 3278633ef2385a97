#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <optional>

#include "appmodel/LaunchOptions.h"

// The modes that need no GUI libraries: help, version, the reports, and the text report a start
// without a display falls back to. The launcher and the desktop program both run them from here.
namespace TerminalRun {

// Exit statuses.
constexpr int kReportNotWritten = 1;
constexpr int kModeUnavailable = 2;
constexpr int kEveryServiceFailed = 3;

QString helpText();
QString versionText();
// Says why the tray did not start; `cause` names what failed.
QString noGraphicalSessionLine(const QString& cause);
// What --refresh says when no engine answers.
QString noEngineLine();
QString verificationNeedsDisplayLine();

// False when the text did not reach the stream (a full disk, a closed pipe).
bool writeOut(const QByteArray& bytes, FILE* stream);

// The options of a process's command line, program path first.
LaunchOptions parse(int argc, char** argv);

// Runs the mode when it needs no desktop and returns its exit status; nullopt when the desktop
// program must run it. When the display was probed on the way, `platforms` receives the platforms
// that can show windows (joined as QT_QPA_PLATFORM takes them).
std::optional<int> run(char* program, const LaunchOptions& options, QByteArray* platforms = nullptr);

// What a start that cannot show windows does instead: the text report and a line naming `cause`
// (the system check only refuses). Returns the exit status.
int runWithoutDisplay(char* program, const LaunchOptions& options, const QString& cause);

}  // namespace TerminalRun
