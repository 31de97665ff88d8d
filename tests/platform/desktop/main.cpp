// One QApplication for the whole test run, on the offscreen platform so the
// tests need no display.
#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
