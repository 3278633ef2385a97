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

  // Whether a tray can be shown: a platform of Qt's list connects to its display now.
  static bool hasGraphicalSession();

  static QString helpText();
  static QString versionText();
  static QString noGraphicalSessionLine();
  static QString verificationNeedsDisplayLine();

  // Runs the whole program; returns the process exit status (0, or 1 when a report could not be
  // written, 2 for a mode this environment cannot run, 3 when every service failed).
  static int run(int argc, char** argv);

 private:
  static int runReport(int argc, char** argv, const LaunchOptions& options, bool json, bool explainNoSession);
  static int runTray(int argc, char** argv, const LaunchOptions& options);
};
