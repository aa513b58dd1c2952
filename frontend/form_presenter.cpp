#include "form_presenter.h"

#include <cerrno>
#include <chrono>

#include "app_paths.h"
#include "batch_guard.h"
#include "kestrel_version.h"
#include "output_path.h"
#include "platform.h"
#include "win_sys.h"

namespace kestrel {
namespace {

constexpr const char* kConvertCaption = "変 換";
constexpr const char* kExitCaption = "終 了";
constexpr const char* kAbortCaption = "中 断";

// Repainting the progress caption and pumping events every 100 lines would
// cost more than the conversion. 25 times a second is as smooth as a counter
// needs to be, and Abort, typing and the close button still answer at once.
constexpr std::int64_t kScreenPaceMs = 40;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A file:// URI's path, its %XX escapes decoded.
std::string FileUriPath(std::string uri) {
  if (uri.rfind("localhost/", 0) == 0) uri.erase(0, 9);
  std::string path = uri[0] == '/' ? "" : "//";  // a host: a share of another machine
  for (std::size_t i = 0; i < uri.size(); ++i) {
    const bool escape = uri[i] == '%' && i + 2 < uri.size() && HexDigit(uri[i + 1]) >= 0 && HexDigit(uri[i + 2]) >= 0;
    path += escape ? static_cast<char>(HexDigit(uri[i + 1]) * 16 + HexDigit(uri[i + 2])) : uri[i];
    if (escape) i += 2;
  }
#ifdef _WIN32
  if (path.size() > 2 && path[0] == '/' && path[2] == ':') path.erase(0, 1);  // "/C:/logs" is C:/logs
#endif
  return path;
}

}  // namespace

std::string PathAsMeant(const std::string& typed) {
  std::string path = typed;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  if (path.rfind("file://", 0) == 0 && path.size() > 7) path = FileUriPath(path.substr(7));
  return path;
}

FormPresenter::FormPresenter(FormView& view, FormEnvironment environment, FileSystem& fs)
    : view_(view), environment_(std::move(environment)), fs_(fs) {
  // The window speaks Japanese, in the reasons of the engine and of the
  // system that it shows too.
  SetMessageLanguage(Language::Japanese);
  for (const FormControl& control : kFormControls) {
    captions_[control.id] = control.caption;
    enabled_[control.id] = true;
    if (control.kind == ControlKind::Field) values_[control.id] = "";
  }
}

std::int64_t FormEnvironment::Now() const {
  if (clock) return clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t FormPresenter::Now() const { return environment_.Now(); }

void FormPresenter::SetText(Control field, const std::string& value) {
  if (values_[field] == value) return;
  values_[field] = value;
  view_.ShowText(field, value);
  Changed(field);
}

void FormPresenter::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  view_.SetChecked(checked);
  Check1_Click();
}

void FormPresenter::Edited(Control field, const std::string& value) {
  const std::string meant = field == Control::Text3 ? value : PathAsMeant(value);
  if (meant != value) view_.ShowText(field, meant);
  if (values_[field] == meant) return;
  values_[field] = meant;
  Changed(field);
}

void FormPresenter::Toggled(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Check1_Click();
}

void FormPresenter::Changed(Control field) {
  if (field == Control::Text1) Text1_Change();
  if (field == Control::Text3) Text3_Change();
}

void FormPresenter::SetCaption(Control control, const std::string& caption) {
  if (captions_[control] == caption) return;
  captions_[control] = caption;
  view_.SetCaption(control, caption);
}

void FormPresenter::SetEnabled(Control control, bool enabled) {
  enabled_[control] = enabled;
  view_.SetEnabled(control, enabled);
}

void FormPresenter::Save(const char* key, const std::string& value) {
  if (WinSys::PutIniString(IniPath, WinSys::kSection, key, value, fs_) || saveFailed_) return;
  const int error = folderError_ ? folderError_ : errno;  // the first cause, not its echo
  // Said once: the option still takes effect for as long as the window is open.
  saveFailed_ = true;
  view_.Beep();
  view_.ShowMessage("設定を保存できませんでした。\n" + (IniPath.empty()
                                                            ? std::string("（保存先のフォルダがありません）")
                                                            : IoError(IniPath, error).what()));
}

void FormPresenter::Form_Load(const std::vector<std::string>& logs, const std::vector<std::string>& unmatched) {
  view_.Centre();
  view_.SetTitle(WindowTitle(KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR));
  const AppPaths paths = ComputeAppPaths(environment_.programDir, environment_.programDirWritable,
                                         environment_.configDir, environment_.tempDir, environment_.processId);
  IniPath = paths.iniPath;
  TempPath = paths.tempPath;
  tempDir_ = paths.tempDir;
  tempNumber_ = paths.tempNumber;
  // A folder that cannot be made shows when a setting is saved.
  if (!environment_.programDirWritable && MakeFolders(fs_, environment_.configDir) != 0) folderError_ = errno;

  // The settings are stored before the fields show them, so the handlers the
  // fields raise find nothing changed and save nothing back.
  OutExt = WinSys::GetIniString(IniPath, WinSys::kSection, WinSys::kFileExtKey, fs_);
  SetText(Control::Text3, OutExt);
  OverWriteOn = WinSys::ReadsAsTrue(WinSys::GetIniString(IniPath, WinSys::kSection, WinSys::kOverWriteKey, fs_));
  SetChecked(OverWriteOn);
  if (logs.empty() && unmatched.empty()) return;

  // Batch mode: every log in turn with the settings just loaded, then Exit.
  batch_ = batchRan_ = true;
  for (const std::string& pattern : unmatched) ReportFailure(PrintableName(pattern) + ": 該当するファイルがありません");
  view_.Show();
  view_.PumpEvents();
  // No log of the batch is written over, and none is converted twice.
  BatchGuard guard(fs_, logs);
  std::size_t converted = 0;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const std::string& log = logs[i];
    if (platform::CaughtStopSignal()) {  // the logs left are not converted
      stopStatus_ = platform::StopSignalExitStatus();
      break;
    }
    if (closed_) {  // by the user, during the batch
      ReportFailure(PrintableName(log) + ": ウィンドウが閉じられたので変換しませんでした");
      continue;
    }
    SetText(Control::Text1, log);
    view_.PumpEvents();
    if (OutputLacksExtension()) {  // it would replace a file named as the log without its extension
      ReportFailure(PrintableName(log) +
                    ": 出力拡張子が設定されていないので変換しませんでした（先に「出力拡張子」を設定してください）");
      continue;
    }
    const std::string output = OverWriteOn ? Value(Control::Text1) : Value(Control::Text2);
    if (const std::string refusal = guard.Refusal(i, output); !refusal.empty()) {
      ReportFailure(refusal);
      continue;
    }
    const std::optional<RunStatus> status = Convert();
    if (status == RunStatus::Finished) ++converted, guard.Written(i, output);
    if (!status)
      ReportFailure("ファイル名が空なので何も変換しませんでした");
    else if (*status == RunStatus::Aborted)
      ReportFailure(PrintableName(log) + ": 変換を中断しました");
    else if (*status == RunStatus::Interrupted)
      stopStatus_ = platform::StopSignalExitStatus();
    if (stopStatus_) break;
    view_.PumpEvents();
  }
  // A failure, an abort, the window closed early, or a pattern that matched nothing.
  batchFailed_ = converted < logs.size() || !unmatched.empty();
  // Started from a desktop, nobody sees standard error. No box waits once a
  // stop signal has come; one that comes while the box waits closes it and
  // ends the batch as stopped.
  if (!environment_.errorsSeen && !batchFailures_.empty() && !platform::CaughtStopSignal()) {
    std::string text = "変換できなかったログがあります。";
    for (const std::string& failure : batchFailures_) text += "\n" + failure;
    view_.Beep();
    view_.ShowMessage(text);
    if (platform::CaughtStopSignal()) stopStatus_ = platform::StopSignalExitStatus();
  }
  Command2_Click();
  batch_ = false;
}

void FormPresenter::Text1_Change() {
  // The output path is the input path with its extension replaced, or the
  // log itself when it is converted in place; without a log, nothing.
  const std::string& log = Value(Control::Text1);
  Text1Tag = PathWithoutExtension(log);
  SetText(Control::Text2, log.empty() ? "" : OverWriteOn ? log : Text1Tag + OutExt);
}

void FormPresenter::Text3_Change() {
  if (Value(Control::Text3) != OutExt) {
    OutExt = NormaliseExtension(Value(Control::Text3));
    Save(WinSys::kFileExtKey, OutExt);
  }
  Text1_Change();
}

void FormPresenter::Check1_Click() {
  if (checked_ == OverWriteOn) return;  // start-up showing the stored option
  OverWriteOn = checked_;
  Save(WinSys::kOverWriteKey, checked_ ? "TRUE" : "FALSE");
  Text1_Change();
}

std::optional<RunStatus> FormPresenter::Convert() {
  for (const Control field : {Control::Text1, Control::Text2}) {
    if (!Value(field).empty()) continue;
    view_.Beep();
    view_.SetFocus(field);
    return std::nullopt;
  }
  // A pasted path whose trailing blanks make it name no file is taken without them.
  FileInfo log;
  const std::string typed = Value(Control::Text1);
  const std::string trimmed = typed.substr(0, typed.find_last_not_of(" \t") + 1);
  if (trimmed != typed && !trimmed.empty() && fs_.PathInfo(typed, &log) != 0 && fs_.PathInfo(trimmed, &log) == 0)
    SetText(Control::Text1, trimmed);
  if (OutputLacksExtension()) {
    view_.Beep();
    view_.ShowMessage(
        "変換できませんでした。\n出力拡張子が空なので、出力ファイルがログの名前から拡張子を除いた名前になり、"
        "同じ名前の別のファイルを上書きしてしまいます。\n先に「出力拡張子」を設定してください。");
    view_.SetFocus(Control::Text3);
    return std::nullopt;
  }
  SetEnabled(Control::Command1, false);
  SetEnabled(Control::Command3, false);  // no modal dialog inside the run's progress hook
  SetCaption(Control::Command2, kAbortCaption);
  view_.SetFocus(Control::Command2);  // a control keeps the focus, so that the keyboard still reaches the window
  // The run opens the paths captured here; later edits of the fields or of
  // the overwrite option apply to the next run.
  Text1Tag = Value(Control::Text1);
  Text2Tag = OverWriteOn ? Value(Control::Text1) : Value(Control::Text2);

  RunRequest request;
  request.inputPath = Text1Tag;
  request.outputPath = Text2Tag;
  // The temporary copy goes beside the output, on the disk that takes the
  // converted log, else (an output that is no file, a folder that takes no
  // new file) in the system's temporary folder.
  FileInfo output;
  const bool besideOutput = fs_.PathInfo(Text2Tag, &output) != 0 || output.kind == FileKind::Regular;
  request.tempDir = besideOutput ? DirectoryOf(Text2Tag) : tempDir_;
  request.spareTempDir = tempDir_;
  request.tempNumber = tempNumber_;
  request.inPlace = OverWriteOn;  // the log as its own output only with the overwrite option
  ConversionRun run(Engine, fs_);
  run.SetInterruptFlag(platform::StopSignalFlag());
  run_ = &run;
  // Every progress text is announced; the caption is repainted and events
  // are pumped at the screen's pace, and at each pass's start and end.
  std::string latest = Progress{}.Text();
  Progress last;
  std::int64_t lastPump = Now();
  const RunResult result = run.Execute(request, [&](const Progress& progress) {
    last = progress;
    if (!progress.heartbeat) {
      latest = progress.Text();
      if (onProgress) onProgress(latest);
    }
    const bool passEdge = !progress.blockEnd && !progress.heartbeat;
    if (!passEdge && Now() - lastPump < kScreenPaceMs) return;
    lastPump = Now();
    SetCaption(Control::Command1, latest);
    view_.PumpEvents();  // the window answers, Abort included
  });
  run_ = nullptr;
  if (!result.tempPath.empty()) TempPath = result.tempPath;  // a taken name is skipped

  SetCaption(Control::Command1, kConvertCaption);
  SetCaption(Control::Command2, kExitCaption);
  SetEnabled(Control::Command1, true);
  SetEnabled(Control::Command2, true);
  SetEnabled(Control::Command3, true);
  view_.SetFocus(Control::Command1);  // a second Enter converts again, and never closes the window
  if (result.status == RunStatus::Failed) ReportFailure(result.error, result.errorNumber == kErrorOutputIsLog);
  // The batch reports an abort as a failure; a window closing says nothing.
  if (result.status == RunStatus::Aborted && !batch_ && !closeAfterRun_) view_.ShowMessage(AbortNote(last, request));
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    closed_ = true;
    view_.Close();
  }
  return result.status;
}

void FormPresenter::Command2_Click() {
  if (Caption(Control::Command2) == kAbortCaption) {
    // Abort: the run finds the rest of its input skipped when it resumes.
    SetEnabled(Control::Command2, false);
    if (run_) run_->Abort();
    return;
  }
  closed_ = true;
  view_.Close();
}

void FormPresenter::Command3_Click() {
  if (run_) return;
  view_.SetFocus(Control::Text1);
  const std::optional<std::string> chosen = view_.ChooseFile(Value(Control::Text1));
  if (chosen && !chosen->empty()) SetText(Control::Text1, *chosen);
}

void FormPresenter::Form_OLEDragDrop(const std::vector<std::string>& files) {
  if (!files.empty() && !files.front().empty()) SetText(Control::Text1, files.front());
}

bool FormPresenter::CloseRequested() {
  if (!run_) return closed_ = true;
  // Closed during a run: abort it as the Abort button does, and close once
  // the run has cleaned up after itself.
  if (Enabled(Control::Command2)) Command2_Click();
  closeAfterRun_ = true;
  return false;
}

std::optional<int> FormPresenter::StopWhileIdle() const {
  if (!platform::CaughtStopSignal() || run_ || batch_) return std::nullopt;
  return platform::StopSignalExitStatus();
}

bool FormPresenter::OutputLacksExtension() const {
  return !OverWriteOn && OutExt.find_first_not_of('.') == std::string::npos &&
         Value(Control::Text2) == PathWithoutExtension(Value(Control::Text1)) + OutExt;
}

std::string FormPresenter::AbortNote(const Progress& last, const RunRequest& request) const {
  const std::string count = std::to_string(last.pass == 1 ? last.total : last.done);
  const std::string said = last.pass == 1 ? "ログの読み込み中に中断しました（" + count + " 行目まで）。\n"
                                          : "変換を中断しました（" + last.Text() + " 行）。\n";
  if (request.inPlace) return said + "ログは元のままです:\n" + request.outputPath;
  if (last.pass == 1) return said + "出力ファイルには何も書き込んでいません:\n" + request.outputPath;
  return said + "出力ファイルには、変換の済んだ最初の " + count + " 行だけが入っています:\n" + request.outputPath;
}

void FormPresenter::ReportFailure(const std::string& message, bool outputIsLog) {
  if (batch_) {
    // The file name's bytes as they are, control characters escaped.
    const std::string line = message + (outputIsLog ? "（「ログファイル上書き」ならその場で変換します）" : "");
    view_.ErrorLine("kestrel: " + line);
    batchFailures_.push_back(line);
    return;
  }
  view_.Beep();
  view_.ShowMessage(
      "変換できませんでした。\n" + message +
      (outputIsLog ? "\nログをその場で変換するには、「ログファイル上書き」にチェックを入れてください。" : ""));
}

}  // namespace kestrel
