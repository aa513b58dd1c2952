#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "file_system.h"
#include "form_presenter.h"

namespace kestrel {
namespace compare {
struct DiffRecord;
}

// The comparison window's controls, in tab order: the four fields, each with
// its Browse button, the check box and the two commands.
enum class CompareControl {
  LogA,            // 比較元ログ (A)
  BrowseA,         // 参照
  LogB,            // 比較先ログ (B)
  BrowseB,         // 参照
  InterfaceMap,    // インターフェース対応表, optional
  BrowseMap,       // 参照
  Accepted,        // 既知の差分, optional
  BrowseAccepted,  // 参照
  NoLocal,         // ローカル経路を除く: the L routes left out
  Compare,         // 比 較
  Close,           // 閉じる; 中 断 during a comparison
  Search,          // 検索: words that a listed difference must all contain
  List,            // the differences, a row each
  OpenReport,      // レポートを開く: the HTML report in the default browser
  SaveReport,      // レポートを保存: the HTML report where the user chooses
  SaveCsv,         // CSV を保存
};

// A control's caption: a field's is its label's.
const char* CompareCaption(CompareControl control);

// The list's filters, a check box each: the kinds of difference (a DiffKind
// bit each, ShowKind) and, last, the accepted differences (ShowAccepted).
inline constexpr int kKindFilters = 8;
const char* FilterCaption(int filter);  // 0 to kKindFilters; kKindFilters is 既知

// The list's columns: 経路, 状態, 相違点, A の行, B の行.
inline constexpr int kCompareColumns = 5;
const char* ColumnCaption(int column);

// One difference as the list shows it, in Japanese.
struct CompareRow {
  std::string prefix;        // "10.1.0.0/16", "VRF red: 10.1.0.0/16"
  std::string status;        // A のみ, B のみ, 相違; 既知 added when accepted
  std::string differences;   // what differs: "ネクストホップ、メトリック"
  std::string lineA, lineB;  // the route's first line in each log, empty on the side that lacks it
  const std::string& Cell(int column) const;
};

// What a save dialog offers to save.
enum class SavedReport { Html, Csv };

// What the comparison window shows, drawn by a view of one toolkit or
// another. Texts are UTF-8, the fields' values bytes, as in FormView.
class CompareView {
 public:
  virtual ~CompareView() = default;
  virtual void ShowText(CompareControl field, const std::string& value) = 0;
  virtual void SetChecked(bool checked) = 0;
  virtual void SetCaption(CompareControl control, const std::string& caption) = 0;
  virtual void SetEnabled(CompareControl control, bool enabled) = 0;
  virtual void SetFocus(CompareControl control) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void Beep() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  // The lines read so far on each side, while a comparison runs; empty after.
  virtual void ShowProgress(const std::string& text) = 0;
  // The result in one line, and the warnings' count (empty when none).
  virtual void ShowSummary(const std::string& summary, const std::string& warnings) = 0;
  // The list has this many rows now; it asks for each it draws (Row).
  virtual void SetRowCount(std::size_t rows) = 0;
  virtual std::optional<std::string> ChooseFile(const std::string& start) = 0;
  // A save dialog for a report, starting at `suggested`; it asks before
  // replacing a file. Nothing when cancelled.
  virtual std::optional<std::string> ChooseSaveFile(const std::string& suggested, SavedReport kind) = 0;
  // While on, the view calls ComparePresenter::Tick every 40 ms or so, on
  // the window's thread: a comparison or a report is being made on another.
  virtual void SetTicking(bool on) = 0;
  // One route's lines from both logs and what differs, in a dialog of its
  // own with a fixed-width font, until the user closes it.
  virtual void ShowDetail(const std::string& title, const std::string& text) = 0;
  // Opens a local HTML file in the user's default browser; false when the
  // system could not.
  virtual bool OpenInBrowser(const std::string& path) = 0;
  virtual void Close() = 0;
};

// Everything the comparison window decides: its fields and their settings
// (in the converter's settings file, a section of their own), the
// comparison run on threads of its own while the window goes on answering,
// the list of differences, filtered and searched, described row by row, a
// row's detail, and the reports.
class ComparePresenter {
 public:
  ComparePresenter(CompareView& view, FormEnvironment environment, FileSystem& fs = FileSystem::System());
  ~ComparePresenter();
  ComparePresenter(const ComparePresenter&) = delete;
  ComparePresenter& operator=(const ComparePresenter&) = delete;

  // Start-up: titles the window and restores the last choices; given two
  // logs (Send to), A and B, compares them at once; given more, takes the
  // first two and says so, comparing nothing.
  void Load(const std::vector<std::string>& logs = {});
  // What the view reports: a field the user edited, the check box, files
  // dropped (one fills the empty log field, A first; two fill both), a
  // button, the window's close button (false while a comparison runs: it is
  // aborted, and the window closes once it has stopped).
  void Edited(CompareControl field, const std::string& value);
  void Toggled(bool checked);
  void Dropped(const std::vector<std::string>& files);
  void Clicked(CompareControl button);
  bool CloseRequested();
  // A row double-clicked, or Enter on it: its detail.
  void Activated(std::size_t row);
  // While ticking: shows how far the work on the other threads got, and
  // takes its result once it is done.
  void Tick();

  // The list: a kind shown or not (a DiffKind bit, all shown at first), the
  // accepted differences shown or not, and words that a row must all contain.
  void ShowKind(int kind, bool shown);
  void ShowAccepted(bool shown);
  void Search(const std::string& text);
  std::size_t RowCount() const { return shown_.size(); }
  CompareRow Row(std::size_t i) const;

  const std::string& Value(CompareControl field) const { return values_.at(field); }
  bool Checked() const { return noLocal_; }
  const std::string& Caption(CompareControl control) const { return captions_.at(control); }
  bool Enabled(CompareControl control) const { return enabled_.at(control); }
  bool Running() const { return running_; }
  const std::string& Summary() const { return summary_; }

 private:
  struct Result;
  enum class Work { None, Comparing, Writing, Fetching };
  void SetText(CompareControl field, const std::string& value);
  void SetCaption(CompareControl control, const std::string& caption);
  void SetEnabled(CompareControl control, bool enabled);
  void Save(const char* key, const std::string& value);
  void Browse(CompareControl field);
  void Run();
  // Starts `work` on a thread of its own, the window's commands but 中 断
  // disabled meanwhile; once it is done, Tick calls `finish` on the window's
  // thread with what it threw, if anything.
  void JoinStopped();
  void StartWork(Work work, std::function<void()> run, std::function<void(std::exception_ptr)> finish);
  // Reads both sides, each on a thread of its own, and compares them; throws
  // IoError, or Stopped on abort.
  std::unique_ptr<Result> ReadAndCompare(const std::string (&logs)[2], const std::string& map,
                                         const std::string& accepted, bool noLocal);
  void Compared(std::unique_ptr<Result> result, std::exception_ptr failure);
  // The report of that kind written to `file`, a new file or a replacement.
  void WriteReportTo(SavedReport kind, FileHandle file, const std::string& name);
  void OpenReport();
  void SaveReport(SavedReport kind);
  static CompareRow Row(const compare::DiffRecord& record);
  void Filter();
  const std::string& SearchedText(std::uint32_t diff);

  CompareView& view_;
  FormEnvironment environment_;
  FileSystem& fs_;
  std::string iniPath_;
  std::map<CompareControl, std::string> values_, captions_;
  std::map<CompareControl, bool> enabled_;
  bool noLocal_ = false;
  bool running_ = false, closeAfterRun_ = false, saveFailed_ = false;
  std::string tempDir_;
  // The work on other threads: what it is, its thread, how far it got.
  Work work_ = Work::None;
  std::thread worker_;
  // Stopped work whose thread is still finishing its step: joined before
  // any other work starts or the result it may read is dropped.
  std::thread stopping_;
  std::atomic<bool> abort_{false}, workDone_{false};
  std::atomic<std::uint64_t> linesRead_[2] = {};
  std::exception_ptr workFailure_;
  std::function<void(std::exception_ptr)> finish_;
  // The HTML reports written to the temporary folder for the browser,
  // removed when the window closes; the last is the current result's.
  std::vector<std::string> tempReports_;
  bool tempReportCurrent_ = false;
  std::string stoppedText_;  // what 中 断 of the work under way stopped
  std::unique_ptr<Result> result_;
  std::string summary_;
  std::uint8_t kindsShown_ = 0xff;
  bool acceptedShown_ = true;
  std::vector<std::string> words_;
  std::vector<std::uint32_t> shown_;  // the differences that pass the filters, in the comparison's order
};

}  // namespace kestrel
