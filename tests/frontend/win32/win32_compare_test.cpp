// The native comparison window, driven in-process with window messages: the
// example logs dropped and compared, the list, its filters, the row's
// detail and the reports through the seams; and the program started as Send
// to starts it, with two logs.

#include "win32_compare.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>
#include <cstring>

#include "test_files.h"
#include "win32_text.h"

namespace kestrel {
namespace {

using namespace test;
using C = CompareControl;

std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
  return win32::Narrow(text);
}

class Win32CompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "Kestrel.ini", "[Compare]\r\nNoLocal=FALSE\r\n");
    for (const char* log : {"ix-show-ip-route.log", "cisco-show-ip-route.log"})
      WriteFile(Path(log), ReadFile(std::string(KESTREL_EXAMPLES) + "/" + log));
  }
  std::string Path(const std::string& name) const { return dir_.Path() + "\\" + name; }
  // Pumps the window's messages until `done`, for ten seconds at most.
  template <typename Done>
  bool PumpUntil(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i) view_->PumpEvents(), ::Sleep(10);
    return done();
  }
  void Open() {
    FormEnvironment environment;
    environment.programDir = environment.tempDir = dir_.Path();
    view_ = std::make_unique<Win32Compare>(::GetModuleHandleW(nullptr), environment);
    view_->Presenter().Load({});
    view_->Show();
  }
  void Click(HWND button) {
    ::SendMessageW(button, BM_CLICK, 0, 0);
    view_->PumpEvents();
  }
  HWND List() const { return view_->ControlWindow(C::List); }

  ScratchDir dir_;
  std::unique_ptr<Win32Compare> view_;
};

// Both logs dropped at once, ローカル経路を除く ticked and 比 較 clicked: the
// summary and the list as kestrel-compare finds them; a filter hides rows;
// Enter and a double-click show a row's detail; the reports go where the
// seams say.
TEST_F(Win32CompareTest, ComparesTheDroppedExamples) {
  Open();
  const std::wstring files =
      L"" + win32::Wide(Path("ix-show-ip-route.log")) + L'\0' + win32::Wide(Path("cisco-show-ip-route.log")) + L'\0';
  HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (files.size() + 1) * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, files.data(), files.size() * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  ::SendMessageW(List(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  EXPECT_EQ(TextOf(view_->ControlWindow(C::LogB)), Path("cisco-show-ip-route.log"));
  Click(view_->ControlWindow(C::NoLocal));
  Click(view_->ControlWindow(C::Compare));
  ASSERT_TRUE(PumpUntil([&] { return TextOf(view_->SummaryWindow()).rfind("差分 4 件", 0) == 0; }))
      << TextOf(view_->SummaryWindow());
  EXPECT_EQ(ListView_GetItemCount(List()), 4);
  wchar_t cell[64] = {};
  LVITEMW item{};
  item.pszText = cell, item.cchTextMax = 64;
  ::SendMessageW(List(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(win32::Narrow(cell), "10.2.0.0/16");
  Click(view_->FilterWindow(1));  // B のみ
  EXPECT_EQ(ListView_GetItemCount(List()), 3);
  ::SetWindowTextW(view_->ControlWindow(C::Search), L"10.3");
  EXPECT_EQ(ListView_GetItemCount(List()), 1);
  ::SetWindowTextW(view_->ControlWindow(C::Search), L"");

  std::vector<std::string> details;
  Win32Compare::detailSeam = [&](const std::string& title, const std::string&) { details.push_back(title); };
  ::SetFocus(List());
  ListView_SetItemState(List(), 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ::PostMessageW(List(), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(PumpUntil([&] { return details.size() == 1; }));
  RECT row{};
  ListView_GetItemRect(List(), 0, &row, LVIR_BOUNDS);
  ::SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(row.left + 4, (row.top + row.bottom) / 2));
  ASSERT_TRUE(PumpUntil([&] { return details.size() == 2; }));
  EXPECT_NE(details[0], details[1]);

  std::string opened;
  Win32Compare::browserSeam = [&](const std::string& path) { return opened = path, true; };
  Win32Compare::saveSeam = [&](const std::string&, SavedReport kind) {
    return std::optional<std::string>(Path(kind == SavedReport::Csv ? "差分.csv" : "差分.html"));
  };
  Click(view_->ControlWindow(C::OpenReport));
  ASSERT_TRUE(PumpUntil([&] { return !opened.empty(); }));
  Click(view_->ControlWindow(C::SaveCsv));
  EXPECT_TRUE(PumpUntil([&] {
    return ::GetFileAttributesW(win32::Wide(Path("差分.csv")).c_str()) != INVALID_FILE_ATTRIBUTES &&
           ::IsWindowEnabled(view_->ControlWindow(C::SaveCsv));
  }));
  EXPECT_EQ(opened.substr(opened.size() - 5), ".html");
  EXPECT_NE(ReadFile(opened).find("<table id=diffs>"), std::string::npos);
  EXPECT_NE(ReadFile(Path("差分.csv")).find("10.2.0.0/16"), std::string::npos);
  Win32Compare::detailSeam = {};

  // The detail's own window, in the fixed-width face, closed by Esc.
  static std::string face;
  face.clear();
  ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
    HWND text = ::GetFocus();
    wchar_t type[64] = {};
    ::GetClassNameW(::GetParent(text), type, 64);
    if (std::wstring(type) != L"KestrelCompareDetail") return;  // not open yet
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(text, WM_GETFONT, 0, 0)), sizeof font, &font);
    face = win32::Narrow(font.lfFaceName);
    ::KillTimer(nullptr, timer);
    ::PostMessageW(text, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  ::SetFocus(List());
  ::PostMessageW(List(), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(PumpUntil([&] { return !face.empty() && ::IsWindowEnabled(view_->Window()); }));
  EXPECT_EQ(face, "ＭＳ ゴシック");
  Win32Compare::browserSeam = {};
  Win32Compare::saveSeam = {};
}

// kestrel-compare-window.exe started with two logs, as Send to starts it,
// shows the comparison without a click, and ends when its window is closed.
TEST_F(Win32CompareTest, SendToComparesAtOnce) {
  const std::wstring program = win32::Wide(Path("kestrel-compare-window.exe"));
  ASSERT_TRUE(::CopyFileW(win32::Wide(KESTREL_COMPARE_WINDOW).c_str(), program.c_str(), FALSE));
  WriteFile(dir_ / "Kestrel.ini", "[Compare]\r\nNoLocal=TRUE\r\n");
  std::wstring line = L"\"" + program + L"\" \"" + win32::Wide(Path("ix-show-ip-route.log")) + L"\" \"" +
                      win32::Wide(Path("cisco-show-ip-route.log")) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(
      ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  // Its window, and the summary among its controls.
  std::pair<DWORD, HWND> found{process.dwProcessId, nullptr};
  std::string summary;
  for (int i = 0; i < 1000 && summary.rfind("差分 ", 0) != 0; ++i, ::Sleep(10)) {
    ::EnumWindows(
        [](HWND window, LPARAM param) {
          auto* wanted = reinterpret_cast<std::pair<DWORD, HWND>*>(param);
          DWORD owner = 0;
          ::GetWindowThreadProcessId(window, &owner);
          wchar_t type[64] = {};
          ::GetClassNameW(window, type, 64);
          if (owner == wanted->first && std::wstring(type) == L"KestrelCompare") wanted->second = window;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    for (HWND child = found.second ? ::GetWindow(found.second, GW_CHILD) : nullptr; child;
         child = ::GetWindow(child, GW_HWNDNEXT))
      if (const std::string text = TextOf(child); text.rfind("差分 ", 0) == 0) summary = text;
  }
  EXPECT_EQ(summary, "差分 4 件: A のみ 0、B のみ 1、相違 3、既知 0");
  if (found.second) ::PostMessageW(found.second, WM_CLOSE, 0, 0);
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  DWORD status = 1;
  ::GetExitCodeProcess(process.hProcess, &status);
  if (status == STILL_ACTIVE) ::TerminateProcess(process.hProcess, 1);
  EXPECT_EQ(status, 0u);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace kestrel
