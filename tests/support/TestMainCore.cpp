#include <gtest/gtest.h>

#include <QCoreApplication>

#include "TestSandbox.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // No test may touch the real home, even outside a sandboxed fixture.
  TestSandbox processSandbox;
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
