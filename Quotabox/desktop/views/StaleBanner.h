#pragma once

#include <QWidget>
#include <functional>

#include "model/TimePoint.h"

// Tells that a card's values are older than the freshness limit, with a refresh button.
class StaleBanner : public QWidget {
  Q_OBJECT

 public:
  StaleBanner(TimePoint fetchedAt, TimePoint now, bool isBusy, std::function<void()> onRefresh,
              QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
