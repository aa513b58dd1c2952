// The services of platform.h on Windows. Console control events stand in for
// the stop signals: Ctrl-C for SIGINT, Ctrl-Break for SIGTERM, and closing
// the console (or logging off, or shutting down) for SIGHUP.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "file_system.h"
#include "platform.h"
#include "win32_text.h"

namespace kestrel::platform {
namespace {

constexpr int kHangUp = 1;  // SIGHUP, which the Windows C runtime does not name
constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;

std::atomic<int> caughtSignal = 0;
// The thread that runs the conversions, whose blocking reads and writes a
// signal cuts short.
HANDLE mainThread = nullptr;
// The signals seen since CatchStopSignals, one bit each.
volatile LONG seenSignals = 0;

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return kInterrupt;
    case CTRL_BREAK_EVENT: return kTerminate;
    default: return kHangUp;
  }
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int signal = SignalOf(event);
  const LONG bit = 1L << signal;
  // The same signal a second time ends the program at once, with the status
  // the signal gives on POSIX systems (the system's own handler would
  // report 0 under Wine).
  if (::InterlockedOr(&seenSignals, bit) & bit) ::ExitProcess(128 + signal);
  caughtSignal = signal;
  if (mainThread) ::CancelSynchronousIo(mainThread);  // a read that waits on a pipe returns now
  // The system ends the program as soon as this returns from a close,
  // log-off or shut-down event; waiting here gives the run the few seconds
  // the system allows to clean up and leave by itself.
  if (signal == kHangUp) ::Sleep(INFINITE);
  return TRUE;
}

HANDLE StandardHandle(int fd) {
  const DWORD which = fd == 0 ? STD_INPUT_HANDLE : fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  return ::GetStdHandle(which);
}

}  // namespace

void CatchStopSignals() {
  caughtSignal = 0;
  seenSignals = 0;
  if (!mainThread)
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &mainThread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RestoreStopSignals() { ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE); }

const std::atomic<int>* StopSignalFlag() { return &caughtSignal; }

int CaughtStopSignal() { return caughtSignal.load(); }

int StopSignalExitStatus() { return 128 + caughtSignal.load(); }

void BlockStopSignalsInThisThread() {}

// No signal ends a Windows program; the status is the one a shell shows for
// a program killed by SIGPIPE.
void DieOfClosedPipe() { std::_Exit(128 + 13); }

// A console, not the NUL device (also a character device), and one that
// understands the escape sequences the progress line uses.
bool IsTerminal(int fd) {
  HANDLE handle = StandardHandle(fd);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_CHAR ||
      !::GetConsoleMode(handle, &mode))
    return false;
  if (fd == 0 || (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return true;
  return ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::uint32_t ProcessId() { return ::GetCurrentProcessId(); }

void WriteError(const std::string& text) {
  HANDLE console = StandardHandle(2);
  DWORD mode = 0, written = 0;
  std::wstring wide;
  if (::GetFileType(console) == FILE_TYPE_CHAR && ::GetConsoleMode(console, &mode) && win32::Widen(text, &wide)) {
    std::fflush(stderr);
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

bool DecodeCp932(const std::string& bytes, std::string* utf8) {
  if (bytes.empty()) return utf8->clear(), true;
  const int size = static_cast<int>(bytes.size());
  std::wstring wide(bytes.size(), L'\0');  // never more UTF-16 units than bytes
  const int length = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), size);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  *utf8 = win32::Narrow(wide);
  return true;
}

std::string UserConfigFolder() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH + 1);
  return length > 0 && length <= MAX_PATH ? win32::Narrow(std::wstring(folder, length)) : "";
}

bool ConnectStandardError() {
  HANDLE error = StandardHandle(2);
  if (error && error != INVALID_HANDLE_VALUE && ::GetFileType(error) != FILE_TYPE_UNKNOWN) return true;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;  // started from the desktop
  error = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
  return error != INVALID_HANDLE_VALUE && ::SetStdHandle(STD_ERROR_HANDLE, error);
}

std::vector<std::string> ExpandPatterns(const std::vector<std::string>& names, std::vector<std::string>* unmatched) {
  std::vector<std::string> expanded;
  for (const std::string& name : names) {
    std::wstring pattern;
    if (BaseName(name).find_first_of("*?") == std::string::npos || !win32::Widen(name, &pattern)) {
      expanded.push_back(name);
      continue;
    }
    std::vector<std::string> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found))
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        files.push_back(JoinPath(DirectoryOf(name), win32::Narrow(found.cFileName)));
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
    std::sort(files.begin(), files.end());
    if (files.empty()) unmatched->push_back(name);
    expanded.insert(expanded.end(), files.begin(), files.end());
  }
  return expanded;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace kestrel::platform
