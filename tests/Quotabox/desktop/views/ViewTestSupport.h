#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QStringList>
#include <QWidget>

#include "ColorMatch.h"
#include "EventLoop.h"
#include "appmodel/AppModel.h"
#include "views/FittingLabel.h"

// Helpers shared by the view tests of this folder.
namespace ViewTestSupport {

// Every text a user can read in `root`: labels, fitted lines and button titles (rich text as
// written).
inline QStringList texts(const QWidget* root) {
  QStringList all;
  for (const QLabel* label : root->findChildren<QLabel*>()) all << label->text();
  for (const FittingLabel* line : root->findChildren<FittingLabel*>()) all << line->text();
  for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) all << button->text();
  return all;
}

// Lays `widget` out at `width` and its preferred height, shown off screen.
inline void showAt(QWidget& widget, int width) {
  widget.setFixedWidth(width);
  widget.show();
  QApplication::processEvents();
  widget.resize(width, widget.sizeHint().height());
  QApplication::processEvents();
}

inline QImage render(QWidget& widget) { return widget.grab().toImage(); }

// A model over the demonstration data a command-line option (such as "--mock-high") picks and the
// tests' settings suite, refreshed once unless asked not to.
inline std::unique_ptr<AppModel> demoModel(const QString& option = QStringLiteral("--mock"), bool refreshed = true) {
  auto model = std::make_unique<AppModel>(LaunchOptions::parse({QStringLiteral("quotabox"), option}),
                                          SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.tests")));
  if (refreshed) awaitFuture(model->store().refresh());
  return model;
}

}  // namespace ViewTestSupport
