// kestrel: the window program, drawn with Qt. Without arguments it opens the window; with
// log paths it converts each of them and exits (batch mode).

#include <QApplication>
#include <QLocale>

#include <string>
#include <vector>

#include "dialogs.h"
#include "frm_kestrel.h"
#include "platform.h"

namespace {

// The log paths the program was started with, as the bytes the user gave:
// each argument is one path, taken whole (on Windows, the wide command line
// in UTF-8, so that names outside the ANSI code page arrive whole).
std::vector<std::string> LogPaths(int argc, char** argv) {
  std::vector<std::string> arguments = kestrel::platform::Arguments(argc, argv);
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

QtMessageHandler qtHandler = nullptr;

// A batch prints nothing but its failures: Qt's notes on the platform it
// tried first or on the runtime folder are dropped.
void BatchMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const bool platformNote = (context.category && QByteArray(context.category).startsWith("qt.qpa")) ||
                            message.startsWith(QLatin1String("QStandardPaths: "));
  if (type == QtDebugMsg || type == QtInfoMsg || ((type == QtWarningMsg || type == QtCriticalMsg) && platformNote))
    return;
  qtHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  kestrel::platform::CatchStopSignals();
  const std::vector<std::string> logs = LogPaths(argc, argv);
  // The window draws without OpenGL; not loading it saves a tenth of a second
  // at every start on an X server.
  if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  if (!logs.empty()) {
#ifndef _WIN32
    // A batch needs no screen: it runs offscreen when no display can be
    // opened, an empty or a dead one included.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      QByteArray platforms;
      if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) platforms += "wayland;";
      if (!qEnvironmentVariableIsEmpty("DISPLAY")) platforms += "xcb;";
      qputenv("QT_QPA_PLATFORM", platforms + "offscreen");
    }
#endif
    qtHandler = qInstallMessageHandler(BatchMessages);
  }
  // Every argument is a log, even one that reads like one of Qt's options.
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrel"));
  kestrel::InstallQtTranslations(QLocale());

  kestrel::frmKestrel window(kestrel::frmKestrel::CurrentEnvironment());
  window.Presenter().Form_Load(logs);
  if (window.Presenter().BatchRan()) return window.Presenter().BatchExitCode();
  window.show();
  return app.exec();
}
