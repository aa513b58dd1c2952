// kestrel on Windows: the native window. Without arguments it opens the
// window; with logs (patterns such as *.log expanded, as Windows programs
// do) it converts each of them and exits (batch mode), its failures one
// line each on the console it was started from.

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
  kestrel::FormEnvironment environment;
  environment.errorsSeen = kestrel::platform::ConnectStandardError();
  std::vector<std::string> unmatched;
  const std::vector<std::string> logs = kestrel::platform::ExpandPatterns(arguments, &unmatched);
  for (const std::string& pattern : unmatched)
    kestrel::platform::WriteError("kestrel: " + kestrel::PrintableName(pattern) + ": no file matches\n");
  if (!arguments.empty() && logs.empty()) return 1;

  environment.programDir = ProgramFolder();
  environment.programDirWritable = !Installed(environment.programDir) && CanWriteIn(environment.programDir);
  const std::string config = kestrel::platform::UserConfigFolder();
  environment.configDir = config.empty() ? "" : kestrel::JoinPath(config, "Kestrel");
  environment.tempDir = TempFolder();
  environment.processId = kestrel::platform::ProcessId();
  kestrel::Win32Form form(instance, environment);
  form.Presenter().Form_Load(logs);
  if (form.Presenter().BatchRan()) return unmatched.empty() ? form.Presenter().BatchExitCode() : 1;
  form.Show();
  return form.Run();
}
