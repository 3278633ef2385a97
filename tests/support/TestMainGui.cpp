#include <gtest/gtest.h>

#include <QApplication>

#include "TestSandbox.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TestSandbox processSandbox;
  // Widgets render off screen; the notification tests reach the session bus started by scripts/test.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
