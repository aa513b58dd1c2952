#include "win32_form.h"

// After windows.h, which they need.
#include <shellapi.h>

#include <cmath>
#include <iterator>

#include "platform.h"
#include "win32_shared.h"
#include "win32_text.h"

namespace kestrel {
namespace {

constexpr wchar_t kWindowClass[] = L"KestrelForm";
constexpr int kFirstId = 100;  // controls are numbered from here, in tab order
constexpr UINT_PTR kStopTimer = 1;

using win32::DpiOf;
using win32::TextOf;
using win32::Wide;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT;

}  // namespace

std::function<void(const std::wstring&)> Win32Form::messageSeam;
std::function<std::optional<std::string>(const std::string&)> Win32Form::openSeam;

Win32Form::Win32Form(HINSTANCE instance, FormEnvironment environment)
    : instance_(instance), presenter_(*this, std::move(environment)) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = WindowProc;
  type.hInstance = instance;
  type.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  type.lpszClassName = kWindowClass;
  type.hIcon = static_cast<HICON>(::LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON, 32, 32, 0));
  type.hIconSm = static_cast<HICON>(::LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON, 16, 16, 0));
  ::RegisterClassExW(&type);  // already registered for a second window: the same class
  window_ = ::CreateWindowExW(kWindowExStyle, kWindowClass, L"Kestrel", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100,
                              100, nullptr, nullptr, instance, this);
  // The controls in tab order, each taking dropped files and handing them
  // to the window.
  for (const FormControl& c : kFormControls) {
    const wchar_t* type = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE, exStyle = WS_EX_ACCEPTFILES;
    switch (c.kind) {
      case ControlKind::Label: style |= SS_LEFT; break;
      case ControlKind::Field: type = L"EDIT", style |= WS_TABSTOP | ES_AUTOHSCROLL, exStyle |= WS_EX_CLIENTEDGE; break;
      case ControlKind::Button: type = L"BUTTON", style |= WS_TABSTOP | BS_PUSHBUTTON; break;
      case ControlKind::CheckBox: type = L"BUTTON", style |= WS_TABSTOP | BS_AUTOCHECKBOX; break;
    }
    const auto id = static_cast<std::intptr_t>(kFirstId + static_cast<int>(c.id));
    HWND control = ::CreateWindowExW(exStyle, type, L"", style, 0, 0, 0, 0, window_, reinterpret_cast<HMENU>(id),
                                     instance, nullptr);
    win32::PassDropsToParent(control);
    controls_[c.id] = control;
  }
  Layout(DpiOf(window_));
}

Win32Form::~Win32Form() {
  if (window_) ::DestroyWindow(window_);
}

HFONT Win32Form::Face(bool gothic, double points) {
  return faces_.Get(gothic ? kGothicFace : kDefaultFace, points, dpi_);
}

void Win32Form::Layout(int dpi) {
  dpi_ = dpi;
  RECT frame{0, 0, TwipsToPixels(kFormWidth, dpi), TwipsToPixels(kFormHeight, dpi)};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const FormControl& c : kFormControls) {
    ::SetWindowPos(controls_[c.id], nullptr, TwipsToPixels(c.left, dpi), TwipsToPixels(c.top, dpi),
                   TwipsToPixels(c.width, dpi), TwipsToPixels(c.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(controls_[c.id], WM_SETFONT,
                   reinterpret_cast<WPARAM>(Face(c.gothic, c.gothic ? kGothicPoints : kDefaultPoints)), TRUE);
    if (c.kind != ControlKind::Field) SetCaption(c.id, presenter_.Caption(c.id));
  }
}

// A long path shows its end, the file's name, rather than its start.
void Win32Form::ShowText(Control field, const std::string& value) {
  HWND control = controls_.at(field);
  ::SetWindowTextW(control, Wide(value).c_str());
  const LPARAM end = ::GetWindowTextLengthW(control);
  ::SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(end), end);
  ::SendMessageW(control, EM_SCROLLCARET, 0, 0);
}

// A caption in the largest face, up to the control's own, that shows it
// whole; the wrapped description in the largest whose lines fit its height.
void Win32Form::SetCaption(Control control, const std::string& caption) {
  const FormControl& c = FormControlOf(control);
  HWND window = controls_.at(control);
  RECT inside{};
  ::GetClientRect(window, &inside);
  const int edge = ::GetSystemMetrics(SM_CXEDGE);
  const bool wrapped = c.id == Control::Label4;
  const int room = wrapped                           ? inside.bottom
                   : c.kind == ControlKind::Button   ? inside.right - 4 * edge
                   : c.kind == ControlKind::CheckBox ? inside.right - ::GetSystemMetrics(SM_CXMENUCHECK) - 2 * edge
                                                     : inside.right;
  HDC dc = ::GetDC(window);
  const auto measure = [&](const std::string& text, double size) {
    ::SelectObject(dc, Face(c.gothic, size));
    const std::wstring wide = Wide(text);
    RECT extent{0, 0, inside.right, 0};
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &extent,
                DT_CALCRECT | DT_NOPREFIX | (wrapped ? DT_WORDBREAK : DT_SINGLELINE));
    return static_cast<int>(wrapped ? extent.bottom : extent.right);
  };
  const double points = c.gothic ? kGothicPoints : kDefaultPoints;
  const FittedCaption fitted =
      wrapped ? FittedCaption{caption, FittingPoints(points, room, [&](double size) { return measure(caption, size); })}
              : FitCaption(caption, points, room, measure);
  ::ReleaseDC(window, dc);
  ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(Face(c.gothic, fitted.points)), FALSE);
  ::SetWindowTextW(window, Wide(fitted.text).c_str());
}

// A control about to be disabled hands the focus to the window, so that the
// keyboard (Alt+F4, Esc) still reaches it. Convert shows the progress while
// it is off, and the system draws a disabled button's text faint: it stays
// enabled to the system, leaves the tab order, and its clicks are dropped.
void Win32Form::SetEnabled(Control control, bool enabled) {
  HWND window = controls_.at(control);
  if (control == Control::Command1) {
    convertOff_ = !enabled;
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    ::SetWindowLongPtrW(window, GWL_STYLE, enabled ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    return;
  }
  if (!enabled && ::GetFocus() == window) ::SetFocus(window_);
  ::EnableWindow(window, enabled);
}

void Win32Form::SetChecked(bool checked) {
  ::SendMessageW(controls_.at(Control::Check1), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Form::SetFocus(Control control) { ::SetFocus(controls_.at(control)); }
void Win32Form::SetTitle(const std::string& title) { ::SetWindowTextW(window_, Wide(title).c_str()); }
void Win32Form::Beep() { ::MessageBeep(MB_ICONWARNING); }
void Win32Form::ErrorLine(const std::string& line) { platform::WriteError(line + "\n"); }

// On the primary monitor's work area, clear of the task bar.
void Win32Form::Centre() {
  RECT area{}, frame{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  ::GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  ::SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Shown, the window takes the keyboard's focus with the first field in it,
// so that a path can be typed at once.
void Win32Form::Show() {
  ::ShowWindow(window_, SW_SHOW);
  ::UpdateWindow(window_);
  HWND focus = ::GetFocus();
  if (!focus || !::IsChild(window_, focus)) ::SetFocus(controls_[Control::Text1]);
}

void Win32Form::Close() {
  if (window_) ::DestroyWindow(window_);
}

void Win32Form::ShowMessage(const std::string& text) {
  if (messageSeam) return messageSeam(Wide(text));
  ::MessageBoxW(window_, Wide(text).c_str(), TextOf(window_).c_str(), MB_OK | MB_ICONERROR);
}

// The system's file-open dialog, in the desktop's language, at the log's folder.
std::optional<std::string> Win32Form::ChooseFile(const std::string& start) {
  if (openSeam) return openSeam(start);
  return win32::ChooseLogFile(window_, start);
}

void Win32Form::Dispatch(MSG& message) {
  // A held Enter presses the focused button once: its repeats (the key
  // already down, bit 30) are dropped, or it would abort the run it started.
  const bool enter = (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) ||
                     (message.message == WM_CHAR && message.wParam == L'\r');
  if (enter && (message.lParam & (1 << 30))) return;
  if (::IsDialogMessageW(window_, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

void Win32Form::PumpEvents() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
      return;
    }
    Dispatch(message);
  }
}

int Win32Form::Run() {
  ::SetTimer(window_, kStopTimer, 100, nullptr);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return exitStatus_;
}

void Win32Form::Command(int id, int code) {
  if (id == IDOK) {  // Enter: the focused button is pressed
    HWND focus = ::GetFocus();
    for (const Control button : {Control::Command1, Control::Command2, Control::Command3})
      if (focus == controls_[button]) ::SendMessageW(focus, BM_CLICK, 0, 0);
    return;
  }
  if (id == IDCANCEL) {  // Esc: Exit, or Abort during a run
    if (presenter_.Enabled(Control::Command2)) presenter_.Command2_Click();
    return;
  }
  if (id < kFirstId || id >= kFirstId + static_cast<int>(std::size(kFormControls))) return;
  const auto control = static_cast<Control>(id - kFirstId);
  if (FormControlOf(control).kind == ControlKind::Field && code == EN_CHANGE)
    presenter_.Edited(control, win32::Narrow(TextOf(controls_[control])));
  if (code != BN_CLICKED || (control == Control::Command1 && convertOff_)) return;
  switch (control) {
    case Control::Command1: presenter_.Command1_Click(); break;
    case Control::Command2: presenter_.Command2_Click(); break;
    case Control::Command3: presenter_.Command3_Click(); break;
    case Control::Check1:
      presenter_.Toggled(::SendMessageW(controls_[control], BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    default: break;
  }
}

// The first of the files dropped names the log.
void Win32Form::Dropped(HDROP drop) {
  std::wstring file(static_cast<std::size_t>(::DragQueryFileW(drop, 0, nullptr, 0)) + 1, L'\0');
  const UINT files = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  if (files > 0) file.resize(::DragQueryFileW(drop, 0, file.data(), static_cast<UINT>(file.size())));
  ::DragFinish(drop);
  if (files > 0) presenter_.Form_OLEDragDrop({win32::Narrow(file)});
}

LRESULT Win32Form::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: Command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_DROPFILES: Dropped(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(LOWORD(wParam));
      return 0;
    }
    case WM_ACTIVATE:
      // As a dialog does: the control that had the focus when the user went
      // to another program has it again on coming back, the first field the
      // first time. The window itself never keeps it, where typing is lost.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(window_, focus)) lastFocus_ = focus;
      } else if (!HIWORD(wParam)) {  // not minimised
        ::SetFocus(lastFocus_ && ::IsWindowEnabled(lastFocus_) ? lastFocus_ : controls_[Control::Text1]);
      }
      return 0;
    case WM_TIMER:
      // A stop signal ends an idle window; a run notices it by itself.
      if (const std::optional<int> status = presenter_.StopWhileIdle()) exitStatus_ = *status, Close();
      return 0;
    case WM_CLOSE:
      if (presenter_.CloseRequested()) Close();
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      ::PostQuitMessage(exitStatus_);
      return 0;
    default: return ::DefWindowProcW(window_, message, wParam, lParam);
  }
}

LRESULT CALLBACK Win32Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Win32Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Win32Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return form && form->window_ == window ? form->Handle(message, wParam, lParam)
                                         : ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrel
