#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "form_presenter.h"
#include "win32_shared.h"

namespace kestrel {

// Kestrel's only window on Windows, drawn with the system's own controls:
// the form's table at the screen's density, the Japanese faces, the
// keyboard of a dialog, drops on every control, the file-open dialog and the
// message box. What the window does is the presenter's.
class Win32Form : public FormView {
 public:
  // Seams in front of the modal dialogs: when set, they answer in the
  // dialog's place, so that no test waits for a user.
  static std::function<void(const std::wstring& text)> messageSeam;
  static std::function<std::optional<std::string>(const std::string& start)> openSeam;

  Win32Form(HINSTANCE instance, FormEnvironment environment);
  ~Win32Form() override;
  Win32Form(const Win32Form&) = delete;
  Win32Form& operator=(const Win32Form&) = delete;

  FormPresenter& Presenter() { return presenter_; }
  HWND Window() const { return window_; }
  HWND ControlWindow(Control control) const { return controls_.at(control); }
  // Handles messages until the window is closed; the program's exit status.
  int Run();

  // FormView.
  void ShowText(Control field, const std::string& value) override;
  void SetCaption(Control control, const std::string& caption) override;
  void SetEnabled(Control control, bool enabled) override;
  void SetChecked(bool checked) override;
  void SetFocus(Control control) override;
  void SetTitle(const std::string& title) override;
  void Centre() override;
  void Show() override;
  void Close() override;
  void Beep() override;
  void ShowMessage(const std::string& text) override;
  std::optional<std::string> ChooseFile(const std::string& start) override;
  void PumpEvents() override;
  void ErrorLine(const std::string& line) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code);
  void Dropped(HDROP drop);
  // Places the controls and gives them their faces at `dpi` dots per inch.
  void Layout(int dpi);
  HFONT Face(bool gothic, double points);
  // One message: the dialog keys (Tab, Enter, Space, Esc) first.
  void Dispatch(MSG& message);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::map<Control, HWND> controls_;
  // The control that had the focus when the window was last deactivated.
  HWND lastFocus_ = nullptr;
  win32::Faces faces_;
  int dpi_ = 96;
  int exitStatus_ = 0;
  bool convertOff_ = false;  // Convert, off during a run, yet drawn as on
  FormPresenter presenter_;
};

}  // namespace kestrel
