// kestrel: the window program. Without arguments it opens the window; with
// log paths it converts each of them and exits (batch mode).

#include <QApplication>
#include <QStringList>

#include <cstdlib>

#include "frm_kestrel.h"

#ifdef _WIN32
#include <windows.h>

#include "command_line.h"
#endif

namespace {

// The log paths the program was started with. Windows hands over one string,
// split here by the program's own rules; elsewhere the shell has split it
// and each argument is one path, taken whole.
QStringList LogPaths(int argc, char** argv) {
  QStringList logs;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  // The command line without the program's own name, quoted or not.
  const std::wstring line = ::GetCommandLineW();
  std::size_t at = line.empty() ? 0 : line[0] == L'"' ? line.find(L'"', 1) : line.find(L' ');
  at = at == std::wstring::npos ? line.size() : line.find_first_not_of(L' ', at + 1);
  if (at == std::wstring::npos) at = line.size();
  const std::string rest = QString::fromStdWString(line.substr(at)).toLocal8Bit().toStdString();
  for (const std::string& path : kestrel::SplitCommandLine(rest)) logs << QString::fromLocal8Bit(path.c_str());
#else
  for (int i = 1; i < argc; ++i) logs << QString::fromLocal8Bit(argv[i]);
#endif
  return logs;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // A batch needs no screen: without a display it runs offscreen.
  if (argc > 1 && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrel"));
  const QStringList logs = LogPaths(argc, argv);

  kestrel::frmKestrel window;
  window.Form_Load(logs);
  if (window.BatchRan()) return window.BatchExitCode();
  window.show();
  return app.exec();
}
