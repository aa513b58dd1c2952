// kestrel on Windows: the native window. Without arguments it opens the
// window; with logs (patterns such as *.log expanded, as Windows programs
// do) it converts each of them and exits (batch mode), its failures one
// line each on the console it was started from; /? shows the help.

#include <string>
#include <vector>

#include "io_error.h"
#include "platform.h"
#include "win32_form.h"
#include "win32_shared.h"

namespace {

// The help of /?, in Japanese as the window is.
constexpr wchar_t kHelp[] =
    L"使い方: kestrel.exe [ログ...]\r\n"
    L"\r\n"
    L"ログを指定しないとウィンドウを開きます。ログを指定すると (*.log のような\r\n"
    L"パターンも使えます)、保存された設定 (出力拡張子、ログファイル上書き) で\r\n"
    L"順に変換して終了します。変換できなかったログは、コンソールから起動した\r\n"
    L"ときは 1 件 1 行でコンソールに、エクスプローラーの「送る」などから起動\r\n"
    L"したときは最後にメッセージボックスで知らせます。\r\n"
    L"\r\n"
    L"終了コード: 0 すべて変換した、1 変換できなかったログがある、\r\n"
    L"130 Ctrl-C、143 Ctrl-Break で中断した。\r\n"
    L"\r\n"
    L"kestrel.exe はウィンドウのプログラムなので、コマンドプロンプトは終了を\r\n"
    L"待たずに次のプロンプトを出し、%ERRORLEVEL% も 0 のままです。終了を待って\r\n"
    L"終了コードを受け取るには start /wait kestrel.exe ログ... と起動して\r\n"
    L"ください。スクリプトやバッチファイルには kestrel-convert.exe を使って\r\n"
    L"ください (kestrel-convert.exe /? で使い方を表示します)。\r\n";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  kestrel::platform::CatchStopSignals();
  std::vector<std::string> arguments = kestrel::platform::Arguments(0, nullptr);
  arguments.erase(arguments.begin());
  if (arguments.size() == 1 && arguments[0] == "/?") return kestrel::win32::ShowHelp(kHelp, L"Kestrel");
  kestrel::FormEnvironment environment = kestrel::win32::ProgramEnvironment();
  environment.errorsSeen = kestrel::platform::ConnectStandardError();
  // Patterns that match no file are failures of the batch, in the box too.
  std::vector<std::string> unmatched;
  const std::vector<std::string> logs = kestrel::platform::ExpandPatterns(arguments, &unmatched);

  kestrel::Win32Form form(instance, environment);
  form.Presenter().Form_Load(logs, unmatched);
  if (form.Presenter().BatchRan()) return form.Presenter().BatchExitCode();
  form.Show();
  return form.Run();
}
