#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appmodel/LaunchOptions.h"

class AppModel;
class QWidget;
class SettingsDomain;

// Renders the demonstration scenarios to PNG files and writes "ui-checks.json", without a
// person at the screen. Works on any Qt platform, "offscreen" included. Main thread.
class Snapshotter {
 public:
  struct Scenario {
    std::string name;
    LaunchOptions::Source source;
  };
  static const std::vector<Scenario>& scenarios();

  // Settings domain of the scenario models and the checks; never the user's.
  static const QString suiteName;
  static constexpr qreal devicePixelRatio = 2;
  static constexpr int popoverWidth = 360;
  // How long a scenario model may take for its first refresh before it is rendered as it is.
  static constexpr int loadTimeoutMs = 5000;
  static constexpr int stripWidth = 480;
  static constexpr int stripHeight = 144;

  // Every scenario, then the checks; prints "스냅샷 저장 위치: <dir>". False when the folder
  // could not be made.
  static bool run(const QString& directory);

  // Hosts the view in an off-screen frameless window of the appearance's window colour, sized to
  // the view's height at `width`, and writes it as PNG. False when the image was not written.
  static bool render(QWidget* view, const std::string& appearance, const QString& path, int width = popoverWidth);
  // "live-render.png", "live-menubar-render.png" and "settings-render.png" from a model.
  static bool renderLive(AppModel& model, const QString& directory);
  // Three styles (icon, percent, both) top to bottom; a light menu bar left, a dark one right.
  static QImage menuBarStrip(const AppModel& model);
  static bool writeMenuBarStrip(const AppModel& model, const QString& path);
  // The template's shape in `color`: its pixels keep their alpha and take the colour.
  static QImage tinted(const QImage& image, const QColor& color);
  // The thirteen checks on a scratch model built on `defaults`, written to ui-checks.json.
  static bool validateModel(const std::shared_ptr<SettingsDomain>& defaults, const QString& directory);
  // Trend rows expanded, history deletion awaiting confirmation, history recording off.
  static void renderTrendVariants(const std::string& name, AppModel& model, const QString& directory);

  // A scenario model on `defaults`, after its first refresh (bounded by loadTimeoutMs).
  static std::unique_ptr<AppModel> loadedModel(const LaunchOptions::Source& source,
                                               const std::shared_ptr<SettingsDomain>& defaults);

 private:
  static bool renderPage(AppModel& model, bool settings, const std::string& appearance, const QString& path);
};
