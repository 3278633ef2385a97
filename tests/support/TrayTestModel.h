#pragma once

#include <QLabel>
#include <memory>

#include "EventLoop.h"
#include "TestModel.h"
#include "TestSandbox.h"
#include "tray/PopoverWindow.h"
#include "tray/TrayItem.h"

// A tray item that records what it was asked to show.
class FakeTrayItem : public TrayItem {
 public:
  void show(const TrayFace& face) override { shown.push_back(face); }
  std::optional<QPoint> anchorPoint() const override { return point; }

  std::vector<TrayFace> shown;
  std::optional<QPoint> point;
};

// The shared test model without a notification centre, whose Claude fetches wait on `gate` when
// one is given, and pages that are labels named after them.
struct TrayTestModel : TestModel {
  std::unique_ptr<AppModel> model;

  explicit TrayTestModel(double claudePercent = 40, std::shared_ptr<Gate> fetchGate = nullptr) {
    gate = std::move(fetchGate);
    withCenter = false;
    model = build(claudePercent);
  }

  void refreshOnce() {
    if (gate) gate->open();
    awaitFuture(model->store().refresh());
  }

  static PopoverWindow::Pages labelPages() {
    const auto page = [](const char* name) {
      return [name](AppModel&, QWidget* parent) -> QWidget* {
        auto* label = new QLabel(QString::fromLatin1(name), parent);
        label->setObjectName(QString::fromLatin1(name));
        label->setMinimumHeight(200);
        return label;
      };
    };
    return {page("usagePage"), page("settingsPage")};
  }
};
