#pragma once

#include <QStringList>
#include <memory>

#include "app/LaunchOptions.h"

class AppModel;

// The application object: turns the command line into options and runs the chosen mode.
class QuotaboxApp {
 public:
  // What the launch-finished callback starts, by precedence.
  enum class LaunchAction { none, verification, snapshot, openPopover };
  static LaunchAction launchAction(const LaunchOptions& options);

  // Whether a tray can be shown (an X11 or Wayland session).
  static bool hasGraphicalSession();

  static QString helpText();
  static QString versionText();
  static QString noGraphicalSessionLine();

  // Runs the whole program; returns the process exit status.
  static int run(int argc, char** argv);

 private:
  static int runReport(int argc, char** argv, const LaunchOptions& options, bool json, bool explainNoSession);
  static int runTray(int argc, char** argv, const LaunchOptions& options);
};
