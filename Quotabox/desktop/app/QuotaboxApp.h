#pragma once

#include <QStringList>
#include <memory>
#include <optional>

#include "appmodel/LaunchOptions.h"

class AppModel;
class SingleInstance;

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

  // How long --refresh waits for the engine's answer.
  static constexpr int kRefreshTimeoutMs = 3000;

  // Makes a tray the session's engine: nullopt when it is (also alone, beside a foreign owner of
  // the name), else this process's exit status after asking the running tray to open its popover.
  static std::optional<int> claimEngine(SingleInstance& instance);
  static QString foreignOwnerLine();

 private:
  // Nullopt when the display refused after all (Qt fell back to the off-screen platform).
  static std::optional<int> runTray(int argc, char** argv, const LaunchOptions& options);
  // Writes one waybar line per change to standard output, as the session's engine (refreshing with
  // history and notifications as the tray does) or following it; SIGUSR1 refreshes at once.
  static int runWaybar(int argc, char** argv, const LaunchOptions& options);
  // --refresh: asks the engine to refresh; 2 when none answers.
  static int runRefresh(int argc, char** argv);
};
