// The native window's own part, driven in-process with window messages:
// the form at two densities, its faces, the keyboard, drops and the seams
// in front of the dialogs. What the window decides is the presenter's.

#include "win32_form.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <cmath>
#include <cstring>

#include "test_files.h"
#include "win32_text.h"

namespace kestrel {
namespace {

using namespace test;

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  win32::Widen(utf8, &wide);
  return wide;
}

std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return win32::Narrow(text);
}

class Win32FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "Kestrel.ini", "[Kestrel]\r\nFileExt=.txt\r\n");
    FormEnvironment environment;
    environment.programDir = environment.tempDir = dir_.Path();
    form_ = std::make_unique<Win32Form>(::GetModuleHandleW(nullptr), environment);
    form_->Presenter().Form_Load({});
    form_->Show();
  }
  HWND Of(Control control) const { return form_->ControlWindow(control); }
  // A key pressed on the focused control, as the user presses it; `held`,
  // a repeat of a key held down.
  void Press(WPARAM key, bool held = false) {
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, held ? 1 << 30 : 0);
    ::PostMessageW(::GetFocus(), WM_KEYUP, key, 0);
    form_->PumpEvents();
  }
  // Text typed on the keyboard, which goes to the control with the focus.
  void Type(const std::wstring& text) {
    for (const wchar_t c : text) ::PostMessageW(::GetFocus(), WM_CHAR, c, 0);
    form_->PumpEvents();
  }

  ScratchDir dir_;
  std::unique_ptr<Win32Form> form_;
};

// Every control where the form's table puts it, at 96 dots per inch and
// again at 144 once the window moves to such a monitor, in its face.
TEST_F(Win32FormTest, TheFormAtEachDensity) {
  for (const int dpi : {96, 144}) {
    if (dpi != 96) {
      RECT suggested{0, 0, 600, 300};
      ::SendMessageW(form_->Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    RECT client;
    ::GetClientRect(form_->Window(), &client);
    EXPECT_EQ(client.right, TwipsToPixels(kFormWidth, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(kFormHeight, dpi));
    for (const FormControl& c : kFormControls) {
      SCOPED_TRACE(c.name);
      RECT at;
      ::GetWindowRect(Of(c.id), &at);
      ::MapWindowPoints(nullptr, form_->Window(), reinterpret_cast<POINT*>(&at), 2);
      EXPECT_EQ(at.left, TwipsToPixels(c.left, dpi));
      EXPECT_EQ(at.top, TwipsToPixels(c.top, dpi));
      EXPECT_EQ(at.right - at.left, TwipsToPixels(c.width, dpi));
      EXPECT_EQ(at.bottom - at.top, TwipsToPixels(c.height, dpi));
      LOGFONTW face{};
      ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Of(c.id), WM_GETFONT, 0, 0)), sizeof face, &face);
      EXPECT_EQ(win32::Narrow(face.lfFaceName), c.gothic ? kGothicFace : kDefaultFace);
      EXPECT_EQ(face.lfCharSet, SHIFTJIS_CHARSET);
      if (c.kind != ControlKind::Field) {
        EXPECT_EQ(TextOf(Of(c.id)), c.caption);
        EXPECT_EQ(-face.lfHeight, std::lround((c.gothic ? kGothicPoints : kDefaultPoints) * dpi / 72));
      }
    }
  }
}

// A field's text set again unchanged (the edit control still says it
// changed) raises nothing; a new one does.
TEST_F(Win32FormTest, FieldsReportRealChangesOnly) {
  WriteFile(dir_ / "Kestrel.ini", "");
  ::SetWindowTextW(Of(Control::Text3), L".txt");
  EXPECT_EQ(ReadFile(dir_ / "Kestrel.ini"), "");
  ::SetWindowTextW(Of(Control::Text3), L"log");
  EXPECT_EQ(ReadFile(dir_ / "Kestrel.ini"), "[Kestrel]\r\nFileExt=.log\r\n");
  ::SetWindowTextW(Of(Control::Text1), L"C:\\l\\ix1.2020.log");
  EXPECT_EQ(TextOf(Of(Control::Text2)), "C:\\l\\ix1.2020.log");
}

// Typing reaches the first field as soon as the window opens, without a
// click; back from another program, the field that had the focus has it.
TEST_F(Win32FormTest, TypingNeedsNoClick) {
  Type(L"ix1.log");
  EXPECT_EQ(TextOf(Of(Control::Text1)), "ix1.log");
  EXPECT_EQ(TextOf(Of(Control::Text2)), "ix1.txt");
  ::SetFocus(Of(Control::Text2));
  ::SendMessageW(Of(Control::Text2), EM_SETSEL, 0, -1);
  HWND other = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  ::SetActiveWindow(other);
  EXPECT_EQ(::GetFocus(), other);
  ::SetActiveWindow(form_->Window());
  Type(L"out.txt");
  EXPECT_EQ(TextOf(Of(Control::Text2)), "out.txt");
  ::DestroyWindow(other);
}

// Tab moves in the form's order; Enter presses the focused button (Convert
// at an empty path puts the focus in it), but its repeats do not; the error box and the file dialog
// answer through their seams; a file dropped on any control names the log.
TEST_F(Win32FormTest, KeyboardDropsAndDialogs) {
  ::SetFocus(Of(Control::Text1));
  for (const Control next : {Control::Command3, Control::Text2, Control::Text3, Control::Check1, Control::Command1}) {
    Press(VK_TAB);
    EXPECT_EQ(::GetFocus(), Of(next)) << FormControlOf(next).name;
  }
  Press(VK_RETURN, true);
  EXPECT_EQ(::GetFocus(), Of(Control::Command1));
  Press(VK_RETURN);
  EXPECT_EQ(::GetFocus(), Of(Control::Text1));

  std::wstring shown;
  Win32Form::messageSeam = [&](const std::wstring& text) { shown = text; };
  Win32Form::openSeam = [&](const std::string&) { return std::optional<std::string>(dir_ / "none.log"); };
  ::SendMessageW(Of(Control::Command3), BM_CLICK, 0, 0);
  ::SendMessageW(Of(Control::Command1), BM_CLICK, 0, 0);
  // The reason as the system words it, in the user's language.
  EXPECT_EQ(win32::Narrow(shown),
            "変換できませんでした。\n" + (dir_ / "none.log") + ": " + ErrorText(kErrorSystem | ERROR_FILE_NOT_FOUND));
  // Off during a run, Convert keeps its text's colour (the system greys a
  // disabled button's) and takes no click.
  shown.clear();
  form_->SetEnabled(Control::Command1, false);
  ::SendMessageW(Of(Control::Command1), BM_CLICK, 0, 0);
  EXPECT_TRUE(::IsWindowEnabled(Of(Control::Command1)) && shown.empty());
  form_->SetEnabled(Control::Command1, true);
  Win32Form::messageSeam = {};
  Win32Form::openSeam = {};

  for (const FormControl& c : kFormControls) {
    const std::wstring file = Wide("C:\\l\\" + std::string(c.name) + ".log");
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, file.c_str(), (file.size() + 1) * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    ::SendMessageW(Of(c.id), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(TextOf(Of(Control::Text2)), "C:\\l\\" + std::string(c.name) + ".txt");
  }
  // A long path shows its end, the file's name, not its start.
  form_->Presenter().Form_OLEDragDrop({"C:\\" + std::string(80, 'd') + "\\ix1.log"});
  for (const Control field : {Control::Text1, Control::Text2})
    EXPECT_GT(::SendMessageW(Of(field), EM_GETFIRSTVISIBLELINE, 0, 0), 40) << FormControlOf(field).name;
}

}  // namespace
}  // namespace kestrel
