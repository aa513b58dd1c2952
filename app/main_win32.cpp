// kestrel on Windows: the native window. Without arguments it opens the
// window; with logs (patterns such as *.log expanded, as Windows programs
// do) it converts each of them and exits (batch mode), its failures one
// line each on the console it was started from; /? shows the help.

#include <string>
#include <vector>

#include "io_error.h"
#include "platform.h"
#include "win32_form.h"
#include "win32_text.h"

namespace {

// The folder of the program, from the system.
std::string ProgramFolder() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return kestrel::DirectoryOf(kestrel::win32::Narrow(path));
}

// Whether a file can be made in the folder: an installed program's cannot.
bool CanWriteIn(const std::string& folder) {
  std::wstring probe;
  kestrel::win32::Widen(kestrel::JoinPath(folder, "Kestrel-probe-" + std::to_string(::GetCurrentProcessId())), &probe);
  HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

// Whether the program was put there by the installer, whose uninstaller
// lies beside it: an installed program keeps its settings in the user's
// folder, even when it is installed for one user in a folder of theirs.
bool Installed(const std::string& folder) {
  std::wstring uninstaller;
  kestrel::win32::Widen(kestrel::JoinPath(folder, "Uninstall.exe"), &uninstaller);
  return ::GetFileAttributesW(uninstaller.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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

// The help: into the file or pipe standard output was sent to, else on the
// console the program was started from, else (started from the desktop) in
// a message box.
int ShowHelp() {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string text = kestrel::win32::Narrow(kHelp);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN)
    return ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ? 0 : 1;
  if (kestrel::platform::ConnectStandardError()) return kestrel::platform::WriteError(text), 0;
  ::MessageBoxW(nullptr, kHelp, L"Kestrel", MB_OK | MB_ICONINFORMATION);
  return 0;
}

std::string TempFolder() {
  wchar_t path[MAX_PATH + 2];
  const DWORD length = ::GetTempPathW(MAX_PATH + 2, path);
  return length > 0 ? kestrel::win32::Narrow(std::wstring(path, length)) : "";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  kestrel::platform::CatchStopSignals();
  std::vector<std::string> arguments = kestrel::platform::Arguments(0, nullptr);
  arguments.erase(arguments.begin());
  if (arguments.size() == 1 && arguments[0] == "/?") return ShowHelp();
  kestrel::FormEnvironment environment;
  environment.errorsSeen = kestrel::platform::ConnectStandardError();
  // Patterns that match no file are failures of the batch, in the box too.
  std::vector<std::string> unmatched;
  const std::vector<std::string> logs = kestrel::platform::ExpandPatterns(arguments, &unmatched);

  environment.programDir = ProgramFolder();
  environment.programDirWritable = !Installed(environment.programDir) && CanWriteIn(environment.programDir);
  const std::string config = kestrel::platform::UserConfigFolder();
  environment.configDir = config.empty() ? "" : kestrel::JoinPath(config, "Kestrel");
  environment.tempDir = TempFolder();
  environment.processId = kestrel::platform::ProcessId();
  kestrel::Win32Form form(instance, environment);
  form.Presenter().Form_Load(logs, unmatched);
  if (form.Presenter().BatchRan()) return form.Presenter().BatchExitCode();
  form.Show();
  return form.Run();
}
