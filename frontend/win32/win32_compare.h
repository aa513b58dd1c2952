#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "compare_presenter.h"
#include "win32_shared.h"

namespace kestrel {

// The comparison window on Windows, drawn with the system's own controls:
// the fields, the filters and the list of differences (a virtual list view,
// which asks for the rows it draws), laid out again when resized or moved to
// a monitor of another density. What the window does is the presenter's.
class Win32Compare : public CompareView {
 public:
  // Seams in front of the modal dialogs and the browser: when set, they
  // answer in their place, so that no test waits for a user.
  static std::function<void(const std::wstring& text)> messageSeam;
  static std::function<std::optional<std::string>(const std::string& start)> openSeam;
  static std::function<std::optional<std::string>(const std::string& suggested, SavedReport kind)> saveSeam;
  static std::function<void(const std::string& title, const std::string& text)> detailSeam;
  static std::function<bool(const std::string& path)> browserSeam;

  Win32Compare(HINSTANCE instance, FormEnvironment environment);
  ~Win32Compare() override;
  Win32Compare(const Win32Compare&) = delete;
  Win32Compare& operator=(const Win32Compare&) = delete;

  ComparePresenter& Presenter() { return presenter_; }
  HWND Window() const { return window_; }
  HWND ControlWindow(CompareControl control) const { return controls_.at(control); }
  HWND FilterWindow(int filter) const { return filters_[filter]; }
  HWND SummaryWindow() const { return summary_; }
  void Show();
  // Handles the messages waiting, or those until the window is closed.
  void PumpEvents();
  int Run();

  // CompareView.
  void ShowText(CompareControl field, const std::string& value) override;
  void SetChecked(bool checked) override;
  void SetCaption(CompareControl control, const std::string& caption) override;
  void SetEnabled(CompareControl control, bool enabled) override;
  void SetFocus(CompareControl control) override;
  void SetTitle(const std::string& title) override;
  void Beep() override;
  void ShowMessage(const std::string& text) override;
  void ShowProgress(const std::string& text) override;
  void ShowSummary(const std::string& summary, const std::string& warnings) override;
  void SetRowCount(std::size_t rows) override;
  std::optional<std::string> ChooseFile(const std::string& start) override;
  std::optional<std::string> ChooseSaveFile(const std::string& suggested, SavedReport kind) override;
  void SetTicking(bool on) override;
  void ShowDetail(const std::string& title, const std::string& text) override;
  bool OpenInBrowser(const std::string& path) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code);
  LRESULT Notified(const NMHDR& header);
  void Dropped(HDROP drop);
  void Activate();
  // Places the controls in the client area at the window's density.
  void Layout();
  // One message: the list's Enter and the dialog keys (Tab, Enter, Esc) first.
  void Dispatch(MSG& message);
  int Px(int pixelsAt96) const { return MulDiv(pixelsAt96, dpi_, 96); }

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::map<CompareControl, HWND> controls_;
  HWND labels_[5] = {};  // the four fields' and 検索
  HWND filters_[kKindFilters + 1] = {};
  HWND progress_ = nullptr, summary_ = nullptr, warnings_ = nullptr;
  win32::Faces faces_;
  int dpi_ = 96;
  // The row last asked for, as the list asks for each of its cells in turn.
  std::size_t cachedRow_ = 0;
  std::optional<CompareRow> cached_;
  ComparePresenter presenter_;
};

}  // namespace kestrel
