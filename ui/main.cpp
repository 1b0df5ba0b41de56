// ぽこぺん: opens the main window. Without a display it says so in one line
// and ends with status 3, so a script can fall back to pokopen-convert.
#include <QApplication>
#include <QByteArray>
#include <QLocale>
#include <QMessageLogContext>
#include <QString>
#include <QTranslator>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "frmMain.h"
#include "qtApplication.h"
#include "qtPlatform.h"

namespace {

constexpr int kExitNoDisplay = 3;

bool IsSet(const char* name) {
  return !qEnvironmentVariableIsEmpty(name);
}

[[noreturn]] void EndForNoDisplay(const char* reason) {
  std::fprintf(stderr, "pokopen: no display available (%s)\n", reason);
  std::fflush(stderr);
  std::_Exit(kExitNoDisplay);
}

// Qt reports a display it cannot open with a warning and then a fatal error
// that aborts; during start-up both give way to our one line.
void StartUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    EndForNoDisplay("the display could not be opened");
  }
  if (QByteArray(context.category).startsWith("qt.qpa.")) {
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
    EndForNoDisplay("DISPLAY is not set");
  }
  const QtMessageHandler usual = qInstallMessageHandler(StartUpMessages);
  QApplication application(argc, argv);
  qInstallMessageHandler(usual);
  QApplication::setDesktopFileName(QString::fromUtf16(qtPlatform::kDesktopFileName));
  QTranslator qtTexts;
  qtPlatform::InstallQtTranslations(qtTexts, QLocale::system());
  QApplication::setFont(qtPlatform::UserInterfaceFont(QApplication::font()));
  // Every window, a box shown while no window is active too, shows it.
  QApplication::setWindowIcon(qtPlatform::ProgramIcon());

  qtPlatform::QtServices services;
  frmMain window(services);
  window.show();
  return application.exec();
}
