// kestrel-compare-window: the comparison window, drawn with Qt. Its
// arguments are the logs to compare: none, A, or A and B (then compared at
// once, as when a file manager hands it two files).

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <string>
#include <vector>

#include "dialogs.h"
#include "frm_compare.h"
#include "frm_kestrel.h"
#include "io_error.h"
#include "platform.h"

namespace {

constexpr const char* kUsage =
    "Usage: kestrel-compare-window [LOG-A [LOG-B]]\n"
    "Opens a window that compares two routing tables (show ip route logs of an\n"
    "NEC IX or a Cisco router) and lists the routes that differ. Given two logs,\n"
    "it compares them at once. kestrel-compare does the same from a terminal.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> logs = kestrel::platform::Arguments(argc, argv);
  if (!logs.empty()) logs.erase(logs.begin());
  if (logs.size() == 1 && logs[0] == "--help") {
    std::fputs(kUsage, stdout);
    const std::string error = kestrel::CloseStandardOutput();  // a full disk is said, not lost
    if (error.empty()) return 0;
    kestrel::platform::WriteError("kestrel-compare-window: " + error + "\n");
    return 1;
  }
  if (logs.size() > 2) {
    kestrel::platform::WriteError("kestrel-compare-window: at most two logs, A and B (see --help)\n");
    return 2;
  }
  kestrel::platform::CatchStopSignals();
  // The window draws without OpenGL, as the converter's.
  if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  // Every argument is a log, even one that reads like one of Qt's options.
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrel"));
  kestrel::InstallQtTranslations(QLocale());

  kestrel::FrmCompare window(kestrel::frmKestrel::CurrentEnvironment());
  window.show();
  window.Presenter().Load(logs);
  const int status = app.exec();
  return kestrel::platform::CaughtStopSignal() ? kestrel::platform::StopSignalExitStatus() : status;
}
