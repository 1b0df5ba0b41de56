#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

int main(int argc, char* argv[]) {
  // The window's tests never need a display; CTest sets the same.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // Qt's file dialogs remember their last folder in QtProject.conf: the tests
  // keep theirs in a folder of their own, never in the user's configuration.
  const QTemporaryDir configuration;
  if (!configuration.isValid()) {
    return 1;
  }
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path()));
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
