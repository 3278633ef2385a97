#pragma once

#include <QWidget>
#include <functional>

// The header's refresh control: a spinner while refreshing, otherwise a borderless button.
class RefreshButton : public QWidget {
  Q_OBJECT

 public:
  RefreshButton(bool isRefreshing, std::function<void()> action, QWidget* parent = nullptr);
};
