#include "win32_shared.h"

// After windows.h, which it needs.
#include <commdlg.h>

#include <cmath>

#include "form_layout.h"
#include "platform.h"
#include "win32_text.h"

namespace kestrel::win32 {
namespace {

// The original window procedure of a control whose drops go to its parent.
constexpr wchar_t kOriginalProc[] = L"KestrelOriginalProc";

LRESULT CALLBACK DropPassingProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DROPFILES) return ::SendMessageW(::GetParent(control), message, wParam, lParam);
  const auto original = reinterpret_cast<WNDPROC>(::GetPropW(control, kOriginalProc));
  if (message == WM_NCDESTROY) ::RemovePropW(control, kOriginalProc);
  return ::CallWindowProcW(original, control, message, wParam, lParam);
}

std::string ProgramFolder() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return DirectoryOf(Narrow(path));
}

// Whether a file can be made in the folder: an installed program's cannot.
bool CanWriteIn(const std::string& folder) {
  const std::wstring probe = Wide(JoinPath(folder, "Kestrel-probe-" + std::to_string(::GetCurrentProcessId())));
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
  return ::GetFileAttributesW(Wide(JoinPath(folder, "Uninstall.exe")).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempFolder() {
  wchar_t path[MAX_PATH + 2];
  const DWORD length = ::GetTempPathW(MAX_PATH + 2, path);
  return length > 0 ? Narrow(std::wstring(path, length)) : "";
}

}  // namespace

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  Widen(utf8, &wide);
  return wide;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

int DpiOf(HWND window) {
  using GetDpi = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpi>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32"), "GetDpiForWindow")));
  if (getDpi) return static_cast<int>(getDpi(window));
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

Faces::~Faces() {
  for (const auto& [key, face] : faces_) ::DeleteObject(face);
}

HFONT Faces::Get(const char* face, double points, int dpi, bool bold) {
  const int height = -static_cast<int>(std::lround(points * dpi / 72));
  HFONT& font = faces_[{face, height, bold}];
  if (!font)
    font = ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         Wide(face).c_str());
  return font;
}

int TextWidth(HWND window, HFONT font, const std::wstring& text) {
  HDC dc = ::GetDC(window);
  const HGDIOBJ was = ::SelectObject(dc, font);
  RECT extent{};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
  ::SelectObject(dc, was);
  ::ReleaseDC(window, dc);
  return extent.right;
}

void PassDropsToParent(HWND control) {
  ::SetPropW(control, kOriginalProc,
             reinterpret_cast<HANDLE>(
                 ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DropPassingProc))));
}

std::optional<std::string> ChooseLogFile(HWND owner, const std::string& start) {
  return ChooseFile(owner, DirectoryOf(start), start, kLogFilesName, kLogFilesPatterns);
}

std::optional<std::string> ChooseFile(HWND owner, const std::string& folder, const std::string& name,
                                      const std::string& kind, const std::string& patterns,
                                      const wchar_t* saveExtension) {
  std::wstring file = Wide(name);
  const std::wstring initialFolder = Wide(folder);
  file.resize(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
  // Pairs of a name and its patterns, each ended by a null, the list by another.
  const std::wstring wide = Wide(patterns);
  const std::wstring filters = Wide(kind) + L" (" + wide + L")" + L'\0' + wide + L'\0' + Wide(kAllFilesName) +
                               L" (*.*)" + L'\0' + L"*.*" + L'\0';
  dialog.lpstrFilter = filters.c_str();
  dialog.lpstrDefExt = saveExtension;
  dialog.Flags = saveExtension
                     ? OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR
                     : OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  if (!(saveExtension ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog))) return std::nullopt;
  return Narrow(file.c_str());
}

int ShowHelp(const wchar_t* help, const wchar_t* title) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string text = Narrow(help);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN)
    return ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ? 0 : 1;
  if (platform::ConnectStandardError()) return platform::WriteError(text), 0;
  ::MessageBoxW(nullptr, help, title, MB_OK | MB_ICONINFORMATION);
  return 0;
}

FormEnvironment ProgramEnvironment() {
  FormEnvironment environment;
  environment.programDir = ProgramFolder();
  environment.programDirWritable = !Installed(environment.programDir) && CanWriteIn(environment.programDir);
  const std::string config = platform::UserConfigFolder();
  environment.configDir = config.empty() ? "" : JoinPath(config, "Kestrel");
  environment.tempDir = TempFolder();
  environment.processId = platform::ProcessId();
  return environment;
}

}  // namespace kestrel::win32
