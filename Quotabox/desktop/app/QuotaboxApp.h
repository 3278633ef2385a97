#pragma once

#include <QStringList>
#include <memory>

#include "appmodel/LaunchOptions.h"

class AppModel;

// The desktop program: runs the tray, the status-bar loop, snapshots and the system check, and
// every mode the launcher runs itself when started directly.
class QuotaboxApp {
 public:
  // What the launch-finished callback starts, by precedence.
  enum class LaunchAction { none, verification, snapshot, openPopover };
  static LaunchAction launchAction(const LaunchOptions& options);

  // Runs the whole program; returns the process exit status (0, or 1 when a report could not be
  // written, 2 for a mode this environment cannot run, 3 when every service failed).
  static int run(int argc, char** argv);

 private:
  static int runTray(int argc, char** argv, const LaunchOptions& options);
  // Refreshes on the interval with history and notifications as the tray does, and writes one
  // waybar line per change to standard output; SIGUSR1 refreshes at once.
  static int runWaybar(int argc, char** argv, const LaunchOptions& options);
};
