#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

int main(int argc, char* argv[]) {
  // The window's tests never need a display; CTest sets the same.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
