#include "win32_compare.h"

// After windows.h, which they need.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "form_layout.h"
#include "win32_text.h"

namespace kestrel {
namespace {

using win32::TextOf;
using win32::Wide;

constexpr wchar_t kWindowClass[] = L"KestrelCompare";
constexpr wchar_t kDetailClass[] = L"KestrelCompareDetail";
constexpr int kFirstId = 100;     // the presenter's controls, numbered from here in their order
constexpr int kFilterId = 200;    // the filters' check boxes
constexpr int kDetailText = 100;  // the detail's text; its 閉じる is IDCANCEL
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 40;

// The detail's fixed-width face, as Notepad's on a Japanese desktop.
constexpr const char* kFixedFace = "ＭＳ ゴシック";
constexpr double kFixedPoints = 10;
constexpr double kSummaryPoints = 10.5;
constexpr int kColumnWidths[kCompareColumns] = {200, 110, 240, 70, 70};  // at 96 dots per inch

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kWindowExStyle = WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT;

constexpr CompareControl kFields[] = {CompareControl::LogA, CompareControl::LogB, CompareControl::InterfaceMap,
                                      CompareControl::Accepted};

bool IsField(CompareControl control) {
  return std::find(std::begin(kFields), std::end(kFields), control) != std::end(kFields) ||
         control == CompareControl::Search;
}

// The detail's window: the text fills it above 閉じる; Esc, 閉じる and the
// close button end it.
LRESULT CALLBACK DetailProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE: {
      const int dpi = win32::DpiOf(window), margin = MulDiv(8, dpi, 96);
      const int width = MulDiv(96, dpi, 96), height = MulDiv(26, dpi, 96);
      const int right = LOWORD(lParam), bottom = HIWORD(lParam);
      ::MoveWindow(::GetDlgItem(window, kDetailText), margin, margin, right - 2 * margin, bottom - 3 * margin - height,
                   TRUE);
      ::MoveWindow(::GetDlgItem(window, IDCANCEL), right - margin - width, bottom - margin - height, width, height,
                   TRUE);
      return 0;
    }
    case WM_COMMAND:
      if ((LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) && HIWORD(wParam) == BN_CLICKED)
        ::DestroyWindow(window);
      return 0;
    case WM_CLOSE: ::DestroyWindow(window); return 0;
    default: return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

std::function<void(const std::wstring&)> Win32Compare::messageSeam;
std::function<std::optional<std::string>(const std::string&)> Win32Compare::openSeam;
std::function<std::optional<std::string>(const std::string&, SavedReport)> Win32Compare::saveSeam;
std::function<void(const std::string&, const std::string&)> Win32Compare::detailSeam;
std::function<bool(const std::string&)> Win32Compare::browserSeam;

Win32Compare::Win32Compare(HINSTANCE instance, FormEnvironment environment)
    : instance_(instance), presenter_(*this, std::move(environment)) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&classes);
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
  type.lpfnWndProc = DetailProc;
  type.lpszClassName = kDetailClass;
  ::RegisterClassExW(&type);
  window_ = ::CreateWindowExW(kWindowExStyle, kWindowClass, L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                              nullptr, nullptr, instance, this);
  dpi_ = win32::DpiOf(window_);

  // The controls in tab order, each taking dropped files and handing them
  // to the window.
  const auto make = [&](const wchar_t* type, DWORD style, DWORD exStyle, int id, const std::string& text) {
    HWND control =
        ::CreateWindowExW(exStyle | WS_EX_ACCEPTFILES, type, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0,
                          0, window_, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), instance, nullptr);
    win32::PassDropsToParent(control);
    return control;
  };
  const auto id = [](CompareControl control) { return kFirstId + static_cast<int>(control); };
  constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL, kButton = WS_TABSTOP | BS_PUSHBUTTON,
                  kCheck = WS_TABSTOP | BS_AUTOCHECKBOX, kLabel = SS_LEFT | SS_NOPREFIX;
  for (int f = 0; f < 4; ++f) {
    const CompareControl field = kFields[f], browse = static_cast<CompareControl>(static_cast<int>(field) + 1);
    labels_[f] = make(L"STATIC", kLabel, 0, 0, CompareCaption(field));
    controls_[field] = make(L"EDIT", kEdit, WS_EX_CLIENTEDGE, id(field), "");
    controls_[browse] = make(L"BUTTON", kButton, 0, id(browse), presenter_.Caption(browse));
  }
  for (const CompareControl c : {CompareControl::NoLocal, CompareControl::Compare, CompareControl::Close})
    controls_[c] = make(L"BUTTON", c == CompareControl::NoLocal ? kCheck : kButton, 0, id(c), presenter_.Caption(c));
  progress_ = make(L"STATIC", kLabel, 0, 0, "");
  summary_ = make(L"STATIC", kLabel, 0, 0, "");
  warnings_ = make(L"STATIC", kLabel, 0, 0, "");
  for (int k = 0; k <= kKindFilters; ++k) {
    filters_[k] = make(L"BUTTON", kCheck, 0, kFilterId + k, FilterCaption(k));
    ::SendMessageW(filters_[k], BM_SETCHECK, BST_CHECKED, 0);
  }
  labels_[4] = make(L"STATIC", kLabel, 0, 0, CompareCaption(CompareControl::Search));
  controls_[CompareControl::Search] = make(L"EDIT", kEdit, WS_EX_CLIENTEDGE, id(CompareControl::Search), "");
  // The list asks for the texts of the rows it draws (LVN_GETDISPINFOW).
  HWND list = make(WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                   WS_EX_CLIENTEDGE, id(CompareControl::List), "");
  controls_[CompareControl::List] = list;
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (int c = 0; c < kCompareColumns; ++c) {
    std::wstring caption = Wide(ColumnCaption(c));
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = caption.data();
    column.cx = Px(kColumnWidths[c]);
    column.iSubItem = c;
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
  for (const CompareControl c : {CompareControl::OpenReport, CompareControl::SaveReport, CompareControl::SaveCsv})
    controls_[c] = make(L"BUTTON", kButton, 0, id(c), presenter_.Caption(c));

  RECT frame{0, 0, Px(900), Px(640)};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

Win32Compare::~Win32Compare() {
  if (window_) ::DestroyWindow(window_);
}

void Win32Compare::Layout() {
  if (!window_ || controls_.size() < 16) return;  // still being made
  RECT client{};
  ::GetClientRect(window_, &client);
  const int w = client.right, h = client.bottom, m = Px(8), gap = Px(6);
  if (w == 0) return;  // minimised
  HFONT face = faces_.Get(kDefaultFace, kDefaultPoints, dpi_);
  for (HWND child = ::GetWindow(window_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
  ::SendMessageW(summary_, WM_SETFONT, reinterpret_cast<WPARAM>(faces_.Get(kDefaultFace, kSummaryPoints, dpi_, true)),
                 FALSE);
  // Widths from the captions in the face drawn, whatever face the system
  // puts in its place, so that every caption shows whole.
  const auto width = [&](const std::string& text) { return win32::TextWidth(window_, face, Wide(text)); };
  const int check = ::GetSystemMetrics(SM_CXMENUCHECK) + Px(8);
  const auto place = [](HWND control, int x, int y, int cx, int cy) {
    ::SetWindowPos(control, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  int label = 0;
  for (int f = 0; f < 4; ++f) label = std::max(label, width(CompareCaption(kFields[f])) + Px(10));
  const int browse = std::max(Px(72), width(CompareCaption(CompareControl::BrowseA)) + Px(24));
  const int pitch = Px(30), field = Px(24), button = Px(26);
  int y = m;
  for (int f = 0; f < 4; ++f, y += pitch) {
    const CompareControl c = kFields[f], b = static_cast<CompareControl>(static_cast<int>(c) + 1);
    place(labels_[f], m, y + Px(4), label, Px(18));
    place(controls_[c], m + label, y, w - 2 * m - label - browse - gap, field);
    place(controls_[b], w - m - browse, y - Px(1), browse, button);
  }
  int command = Px(96);
  for (const char* caption : {"比 較", "中 断", "閉じる"}) command = std::max(command, width(caption) + Px(24));
  place(controls_[CompareControl::NoLocal], m + label, y, check + width(CompareCaption(CompareControl::NoLocal)),
        button);
  place(controls_[CompareControl::Compare], w - m - 2 * command - gap, y, command, button);
  place(controls_[CompareControl::Close], w - m - command, y, command, button);
  y += Px(34);
  place(progress_, m, y, w - 2 * m, Px(18));
  y += Px(20);
  const int summary = (w - 2 * m) * 3 / 5;
  place(summary_, m, y, summary, Px(22));
  place(warnings_, m + summary + gap, y + Px(3), w - 2 * m - summary - gap, Px(18));
  y += Px(28);
  int x = m;
  for (int k = 0; k <= kKindFilters; ++k) {
    const int cx = check + width(FilterCaption(k));
    place(filters_[k], x, y, cx, field);
    x += cx + Px(4);
  }
  const int search = width(CompareCaption(CompareControl::Search)) + Px(8);
  if (x + search + Px(160) > w - m) x = m, y += Px(28);
  place(labels_[4], x + Px(6), y + Px(4), search, Px(18));
  place(controls_[CompareControl::Search], x + Px(6) + search, y, w - m - x - Px(6) - search, field);
  y += Px(32);
  place(controls_[CompareControl::List], m, y, w - 2 * m, h - m - button - gap - y);
  x = m;
  for (const CompareControl c : {CompareControl::OpenReport, CompareControl::SaveReport, CompareControl::SaveCsv}) {
    const int cx = std::max(Px(110), width(presenter_.Caption(c)) + Px(24));
    place(controls_[c], x, h - m - button, cx, button);
    x += cx + gap;
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

// A long path shows its end, the file's name, rather than its start.
void Win32Compare::ShowText(CompareControl field, const std::string& value) {
  HWND control = controls_.at(field);
  ::SetWindowTextW(control, Wide(value).c_str());
  const LPARAM end = ::GetWindowTextLengthW(control);
  ::SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(end), end);
  ::SendMessageW(control, EM_SCROLLCARET, 0, 0);
}

void Win32Compare::SetChecked(bool checked) {
  ::SendMessageW(controls_.at(CompareControl::NoLocal), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// A caption in the largest face, down to two points smaller, that shows it whole.
void Win32Compare::SetCaption(CompareControl control, const std::string& caption) {
  HWND window = controls_.at(control);
  RECT inside{};
  ::GetClientRect(window, &inside);
  const FittedCaption fitted =
      FitCaption(caption, kDefaultPoints, inside.right - 4 * ::GetSystemMetrics(SM_CXEDGE),
                 [&](const std::string& text, double points) {
                   return win32::TextWidth(window, faces_.Get(kDefaultFace, points, dpi_), Wide(text));
                 });
  ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(faces_.Get(kDefaultFace, fitted.points, dpi_)), FALSE);
  ::SetWindowTextW(window, Wide(fitted.text).c_str());
}

// A control about to be disabled hands the focus to the window, so that the
// keyboard (Alt+F4, Esc) still reaches it.
void Win32Compare::SetEnabled(CompareControl control, bool enabled) {
  HWND window = controls_.at(control);
  if (!enabled && ::GetFocus() == window) ::SetFocus(window_);
  ::EnableWindow(window, enabled);
}

void Win32Compare::SetFocus(CompareControl control) { ::SetFocus(controls_.at(control)); }
void Win32Compare::SetTitle(const std::string& title) { ::SetWindowTextW(window_, Wide(title).c_str()); }
void Win32Compare::Beep() { ::MessageBeep(MB_ICONWARNING); }
void Win32Compare::ShowProgress(const std::string& text) { ::SetWindowTextW(progress_, Wide(text).c_str()); }

void Win32Compare::ShowSummary(const std::string& summary, const std::string& warnings) {
  ::SetWindowTextW(summary_, Wide(summary).c_str());
  ::SetWindowTextW(warnings_, Wide(warnings).c_str());
}

// The rows changed: the list forgets what it drew and asks again.
void Win32Compare::SetRowCount(std::size_t rows) {
  cached_.reset();
  HWND list = controls_.at(CompareControl::List);
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(list, static_cast<int>(rows), 0);
  ::InvalidateRect(list, nullptr, TRUE);
}

void Win32Compare::ShowMessage(const std::string& text) {
  if (messageSeam) return messageSeam(Wide(text));
  ::MessageBoxW(window_, Wide(text).c_str(), TextOf(window_).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::optional<std::string> Win32Compare::ChooseFile(const std::string& start) {
  if (openSeam) return openSeam(start);
  return win32::ChooseLogFile(window_, start);
}

// The system's save dialog at the suggested file, the report's own kind of
// file first, then every file; it asks before a file is replaced.
std::optional<std::string> Win32Compare::ChooseSaveFile(const std::string& suggested, SavedReport kind) {
  if (saveSeam) return saveSeam(suggested, kind);
  const bool html = kind == SavedReport::Html;
  return win32::ChooseFile(window_, DirectoryOf(suggested), BaseName(suggested),
                           html ? "HTML ファイル" : "CSV ファイル", html ? "*.html;*.htm" : "*.csv",
                           html ? L"html" : L"csv");
}

void Win32Compare::SetTicking(bool on) {
  if (on)
    ::SetTimer(window_, kTickTimer, kTickMs, nullptr);
  else
    ::KillTimer(window_, kTickTimer);
}

// A window of its own over this one, which stays disabled until it closes:
// the text in a fixed-width face, read-only, with 閉じる below.
void Win32Compare::ShowDetail(const std::string& title, const std::string& text) {
  if (detailSeam) return detailSeam(title, text);
  std::string lines;  // the edit control breaks lines at CR LF only
  for (const char c : text) lines += c == '\n' ? "\r\n" : std::string(1, c);
  RECT owner{};
  ::GetWindowRect(window_, &owner);
  const int cx = Px(760), cy = Px(480);
  HWND dialog = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kDetailClass, Wide(title).c_str(),
                                  WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX, (owner.left + owner.right - cx) / 2,
                                  (owner.top + owner.bottom - cy) / 2, cx, cy, window_, nullptr, instance_, nullptr);
  HWND edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", Wide(lines).c_str(),
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                0, 0, 0, 0, dialog, reinterpret_cast<HMENU>(kDetailText), instance_, nullptr);
  HWND close = ::CreateWindowExW(0, L"BUTTON", L"閉じる", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                                 0, 0, dialog, reinterpret_cast<HMENU>(IDCANCEL), instance_, nullptr);
  ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(faces_.Get(kFixedFace, kFixedPoints, dpi_)), FALSE);
  ::SendMessageW(close, WM_SETFONT, reinterpret_cast<WPARAM>(faces_.Get(kDefaultFace, kDefaultPoints, dpi_)), FALSE);
  RECT inside{};
  ::GetClientRect(dialog, &inside);
  ::SendMessageW(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(inside.right, inside.bottom));
  ::EnableWindow(window_, FALSE);
  ::ShowWindow(dialog, SW_SHOW);
  ::SetFocus(edit);
  MSG message;
  while (::IsWindow(dialog)) {
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
      break;
    }
    // Esc anywhere in it closes it: the multi-line text would keep the key.
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE &&
        (message.hwnd == dialog || ::IsChild(dialog, message.hwnd))) {
      ::DestroyWindow(dialog);
      continue;
    }
    if (::IsDialogMessageW(dialog, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (::IsWindow(dialog)) ::DestroyWindow(dialog);
  ::EnableWindow(window_, TRUE);
  ::SetActiveWindow(window_);
}

bool Win32Compare::OpenInBrowser(const std::string& path) {
  if (browserSeam) return browserSeam(path);
  const HINSTANCE opened = ::ShellExecuteW(window_, L"open", Wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(opened) > 32;
}

void Win32Compare::Close() {
  if (window_) ::DestroyWindow(window_);
}

// Shown, the window takes the keyboard's focus with the first field in it.
void Win32Compare::Show() {
  ::ShowWindow(window_, SW_SHOW);
  ::UpdateWindow(window_);
  HWND focus = ::GetFocus();
  if (!focus || !::IsChild(window_, focus)) ::SetFocus(controls_[CompareControl::LogA]);
}

// The row with the focus, or the one selected, shows its detail.
void Win32Compare::Activate() {
  HWND list = controls_[CompareControl::List];
  int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (row < 0) row = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
  if (row >= 0 && static_cast<std::size_t>(row) < presenter_.RowCount())
    presenter_.Activated(static_cast<std::size_t>(row));
}

void Win32Compare::Dispatch(MSG& message) {
  // Enter on the list is the row's; held, it opens the detail once.
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && window_ &&
      message.hwnd == controls_[CompareControl::List]) {
    if (!(message.lParam & (1 << 30))) Activate();
    return;
  }
  if (window_ && ::IsDialogMessageW(window_, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

void Win32Compare::PumpEvents() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
      return;
    }
    Dispatch(message);
  }
}

int Win32Compare::Run() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return 0;
}

void Win32Compare::Command(int id, int code) {
  if (id == IDOK) {  // Enter: the focused button is pressed
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(window_, focus) &&
        (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
      ::SendMessageW(focus, BM_CLICK, 0, 0);
    return;
  }
  if (id == IDCANCEL) {  // Esc: 閉じる, or 中 断 during a comparison
    if (presenter_.Enabled(CompareControl::Close)) presenter_.Clicked(CompareControl::Close);
    return;
  }
  if (id >= kFilterId && id <= kFilterId + kKindFilters) {
    if (code != BN_CLICKED) return;
    const int k = id - kFilterId;
    const bool checked = ::SendMessageW(filters_[k], BM_GETCHECK, 0, 0) == BST_CHECKED;
    return k < kKindFilters ? presenter_.ShowKind(1 << k, checked) : presenter_.ShowAccepted(checked);
  }
  if (id < kFirstId || id > kFirstId + static_cast<int>(CompareControl::SaveCsv)) return;
  const auto control = static_cast<CompareControl>(id - kFirstId);
  if (IsField(control)) {
    if (code == EN_CHANGE) presenter_.Edited(control, win32::Narrow(TextOf(controls_[control])));
    return;
  }
  if (code != BN_CLICKED) return;
  if (control == CompareControl::NoLocal)
    presenter_.Toggled(::SendMessageW(controls_[control], BM_GETCHECK, 0, 0) == BST_CHECKED);
  else
    presenter_.Clicked(control);
}

LRESULT Win32Compare::Notified(const NMHDR& header) {
  if (header.hwndFrom != controls_[CompareControl::List]) return 0;
  if (header.code == LVN_GETDISPINFOW) {
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header))->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return 0;
    item.pszText[0] = L'\0';
    const auto row = static_cast<std::size_t>(item.iItem);
    if (item.iItem < 0 || row >= presenter_.RowCount() || item.iSubItem < 0 || item.iSubItem >= kCompareColumns)
      return 0;
    if (!cached_ || cachedRow_ != row) cached_ = presenter_.Row(row), cachedRow_ = row;
    ::lstrcpynW(item.pszText, Wide(cached_->Cell(item.iSubItem)).c_str(), item.cchTextMax);
  } else if (header.code == NM_DBLCLK) {
    const int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
    if (row >= 0 && static_cast<std::size_t>(row) < presenter_.RowCount())
      presenter_.Activated(static_cast<std::size_t>(row));
  }
  return 0;
}

// The first two files dropped are the logs.
void Win32Compare::Dropped(HDROP drop) {
  std::vector<std::string> files;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count && i < 2; ++i) {
    std::wstring file(static_cast<std::size_t>(::DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
    file.resize(::DragQueryFileW(drop, i, file.data(), static_cast<UINT>(file.size())));
    files.push_back(win32::Narrow(file));
  }
  ::DragFinish(drop);
  presenter_.Dropped(files);
}

LRESULT Win32Compare::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: Command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NOTIFY: return Notified(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_DROPFILES: Dropped(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_SIZE: Layout(); return 0;
    case WM_GETMINMAXINFO: {
      RECT least{0, 0, Px(760), Px(480)};
      ::AdjustWindowRectEx(&least, kWindowStyle, FALSE, kWindowExStyle);
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {least.right - least.left, least.bottom - least.top};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = LOWORD(wParam);
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      for (int c = 0; c < kCompareColumns; ++c)
        ListView_SetColumnWidth(controls_[CompareControl::List], c, Px(kColumnWidths[c]));
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTickTimer) presenter_.Tick();
      return 0;
    case WM_CLOSE:
      if (presenter_.CloseRequested()) Close();
      return 0;
    case WM_DESTROY:
      ::KillTimer(window_, kTickTimer);
      window_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default: return ::DefWindowProcW(window_, message, wParam, lParam);
  }
}

LRESULT CALLBACK Win32Compare::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* view = static_cast<Win32Compare*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    view->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
  }
  auto* view = reinterpret_cast<Win32Compare*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return view && view->window_ == window ? view->Handle(message, wParam, lParam)
                                         : ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrel
