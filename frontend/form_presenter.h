#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "conversion_run.h"
#include "form_layout.h"
#include "line_rewriter.h"

namespace kestrel {

// What the window shows, drawn by a view of one toolkit or another. Texts are
// UTF-8; the fields' values are bytes: a path as the engine opens it (the
// system's encoding on POSIX systems, UTF-8 on Windows), which the view
// shows as best it can.
class FormView {
 public:
  virtual ~FormView() = default;
  virtual void ShowText(Control field, const std::string& value) = 0;
  // A caption; the view fits it to its control (FittingPoints).
  virtual void SetCaption(Control control, const std::string& caption) = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  virtual void SetChecked(bool checked) = 0;
  virtual void SetFocus(Control control) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void Centre() = 0;
  virtual void Show() = 0;
  virtual void Close() = 0;
  virtual void Beep() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  // The open-file dialog, starting at `start`: the file chosen, or nothing.
  virtual std::optional<std::string> ChooseFile(const std::string& start) = 0;
  // Handles the events waiting (a click on Abort among them) and returns.
  virtual void PumpEvents() = 0;
  // A line on standard error.
  virtual void ErrorLine(const std::string& line) = 0;
};

// Where the program runs: what start-up needs to place its settings and its
// temporary copy, and how it reaches the user.
struct FormEnvironment {
  std::string programDir;
  bool programDirWritable = true;
  std::string configDir;  // used when the program's folder is read-only; may be empty
  std::string tempDir;    // likewise
  std::uint32_t processId = 0;
  // Whether standard error reaches someone (a terminal or a console); when it
  // does not, a batch also shows its failures in a message box at the end.
  bool errorsSeen = true;
  // Milliseconds from any fixed start, for the pace of the progress display.
  std::function<std::int64_t()> clock;
  // The clock's time, or the system's steady clock's without one.
  std::int64_t Now() const;
};

// Everything the window decides, whatever draws it: the window state, the
// handlers named after the controls and their events, start-up and batch
// mode. Setting a field or the check box raises its handler whenever the
// value changes, from the user or from code, and never otherwise.
class FormPresenter {
 public:
  // The files are read and written through `fs`.
  FormPresenter(FormView& view, FormEnvironment environment, FileSystem& fs = FileSystem::System());
  FormPresenter(const FormPresenter&) = delete;
  FormPresenter& operator=(const FormPresenter&) = delete;

  // Start-up: places and titles the window, computes its paths, loads the
  // settings and, given logs, converts each in turn and then exits. Patterns
  // given that matched no file (on Windows) are failures of the batch.
  void Form_Load(const std::vector<std::string>& logs, const std::vector<std::string>& unmatched = {});
  void Text1_Change();
  void Text3_Change();
  void Check1_Click();
  void Command1_Click() { Convert(); }
  void Command2_Click();
  void Command3_Click();
  // Files dropped anywhere on the window: the first names the log.
  void Form_OLEDragDrop(const std::vector<std::string>& files);

  // What the view reports: a field the user edited, the check box clicked,
  // and the window's close button (false while a run goes on: the run is
  // aborted, and the window closes once it has cleaned up).
  void Edited(Control field, const std::string& value);
  void Toggled(bool checked);
  bool CloseRequested();

  const std::string& Value(Control field) const { return values_.at(field); }
  bool Checked() const { return checked_; }
  const std::string& Caption(Control control) const { return captions_.at(control); }
  bool Enabled(Control control) const { return enabled_.at(control); }
  bool Running() const { return run_ != nullptr; }
  bool BatchRan() const { return batchRan_; }
  // 0 when every log of the batch converted, 1 when any did not, and 128 plus
  // the signal's number when a stop signal left logs unconverted.
  int BatchExitCode() const { return stopStatus_ ? stopStatus_ : batchFailed_ ? 1 : 0; }
  // The exit status once a stop signal came while nothing runs, else none.
  std::optional<int> StopWhileIdle() const;
  // The temporary copy's path: the first name tried until a run has taken one.
  const std::string& TempCopyPath() const { return TempPath; }
  // `listener` is called with every progress text as the run produces it.
  void OnProgress(std::function<void(const std::string&)> listener) { onProgress = std::move(listener); }

 private:
  // Window state.
  std::string IniPath;
  std::string TempPath;
  std::string OutExt;
  bool OverWriteOn = false;
  std::string Text1Tag, Text2Tag;
  LineRewriter Engine;  // keeps RouteHead for as long as the window lives
  std::function<void(const std::string&)> onProgress;

  // Sets a field or the check box from code, raising its handler on a change.
  void SetText(Control field, const std::string& value);
  void SetChecked(bool checked);
  void SetCaption(Control control, const std::string& caption);
  void SetEnabled(Control control, bool enabled);
  void Changed(Control field);
  void Save(const char* key, const std::string& value);
  // The Convert command; nothing when a path was missing and it only beeped.
  std::optional<RunStatus> Convert();
  void ReportFailure(const std::string& message, bool outputIsLog = false);
  // Whether the output path is the log's without its extension, for want of
  // an output extension: it would name another file, not the converted log.
  bool OutputLacksExtension() const;
  // How far an aborted run got and what it has left where, `last` the run's
  // last progress.
  std::string AbortNote(const Progress& last, const RunRequest& request) const;
  std::int64_t Now() const;

  FormView& view_;
  FormEnvironment environment_;
  FileSystem& fs_;
  std::map<Control, std::string> values_, captions_;
  std::map<Control, bool> enabled_;
  std::string tempDir_;
  std::uint32_t tempNumber_ = 0;
  ConversionRun* run_ = nullptr;
  bool batch_ = false, batchRan_ = false, batchFailed_ = false;
  bool checked_ = false;
  bool closed_ = false, closeAfterRun_ = false, saveFailed_ = false;
  int folderError_ = 0;  // why the settings folder could not be made
  int stopStatus_ = 0;
  std::vector<std::string> batchFailures_;
};

// A path as the user meant it, pasted from elsewhere: without the double
// quotes of Windows' "Copy as path", without a line end, and a file:// URI
// as the file's own path.
std::string PathAsMeant(const std::string& typed);

}  // namespace kestrel
