#pragma once

#include <QString>

// The launcher runs the modes that need no GUI libraries itself and starts the desktop program,
// in its place, for all others.
namespace DesktopHandOff {

// This program's file with links resolved; empty when the system cannot tell.
QString ownExecutable();

// A file the launcher at `launcher` runs or loads, by name: beside it (a build tree), else in the
// install's private folder; that installed path when neither exists.
QString companionFile(const QString& launcher, const QString& name);

// The desktop program of a launcher at `launcher`, found as companionFile() finds it.
QString desktopExecutable(const QString& launcher);

// What standard error says when the desktop program could not be started.
QString cannotStartLine(const QString& desktop, const QString& reason);

// Replaces this process with the desktop program: same process id and arguments, the launcher's
// path as argv[0] so that the program can name the launcher (the login item does). Returns only
// when that failed, after saying so on standard error, with the mode-unavailable status.
int exec(char** argv);

}  // namespace DesktopHandOff
