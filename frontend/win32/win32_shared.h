#pragma once

// What both Windows windows, the converter's and the comparison's, and their
// programs do alike: text in UTF-16, the screen's density, the Japanese
// faces, drops handed to the window, the file-open dialog, the help of /?
// and where a program keeps its settings.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "form_presenter.h"

namespace kestrel::win32 {

// UTF-8 to UTF-16, and a window's text.
std::wstring Wide(const std::string& utf8);
std::wstring TextOf(HWND window);

// The window's density: its monitor's on Windows 10 and later, the
// system's before.
int DpiOf(HWND window);

// The faces a window draws with, made once each, by name, size in pixels
// and weight; all are deleted with it.
class Faces {
 public:
  Faces() = default;
  ~Faces();
  Faces(const Faces&) = delete;
  Faces& operator=(const Faces&) = delete;
  // `face` at `points` at `dpi` dots per inch, Shift-JIS's characters.
  HFONT Get(const char* face, double points, int dpi, bool bold = false);

 private:
  std::map<std::tuple<std::string, int, bool>, HFONT> faces_;
};

// `text`'s width in pixels in `font`, on one line.
int TextWidth(HWND window, HFONT font, const std::wstring& text);

// Makes `control` hand the files dropped on it to its parent window.
void PassDropsToParent(HWND control);

// The system's file-open dialog, in the desktop's language, at the folder
// of `start`, logs first, then every file; nothing when cancelled.
std::optional<std::string> ChooseLogFile(HWND owner, const std::string& start);

// The system's open dialog, or with `saveExtension` its save dialog, in the
// folder `folder` with `name` in its name field, offering `kind (patterns)`
// first, then every file; nothing when cancelled. The save dialog asks
// before a file is replaced, and adds the extension to a name without one.
std::optional<std::string> ChooseFile(HWND owner, const std::string& folder, const std::string& name,
                                      const std::string& kind, const std::string& patterns,
                                      const wchar_t* saveExtension = nullptr);

// A program's help: into the file or pipe standard output was sent to, else
// on the console the program was started from, else (started from the
// desktop) in a message box titled `title`. The program's exit status.
int ShowHelp(const wchar_t* help, const wchar_t* title);

// Where the running program keeps its settings and temporary files: beside
// itself when it may write there and was not installed, else in the user's
// folders.
FormEnvironment ProgramEnvironment();

}  // namespace kestrel::win32
