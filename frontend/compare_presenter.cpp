#include "compare_presenter.h"

#include <cerrno>

#include "app_paths.h"
#include "comparison.h"
#include "file_place.h"
#include "io_error.h"
#include "kestrel_version.h"
#include "replacement_file.h"
#include "report.h"
#include "route_table.h"
#include "win_sys.h"

namespace kestrel {

using namespace compare;

namespace {

constexpr const char* kCloseCaption = "閉じる";
constexpr const char* kAbortCaption = "中 断";
// The settings' section in the converter's settings file, and its keys.
constexpr const char* kSection = "Compare";
constexpr const char* kLogAKey = "LogA";
constexpr const char* kLogBKey = "LogB";
constexpr const char* kMapKey = "InterfaceMap";
constexpr const char* kAcceptedKey = "Accepted";
constexpr const char* kNoLocalKey = "NoLocal";

constexpr CompareControl kFields[] = {CompareControl::LogA, CompareControl::LogB, CompareControl::InterfaceMap,
                                      CompareControl::Accepted};
constexpr const char* kFieldKeys[] = {kLogAKey, kLogBKey, kMapKey, kAcceptedKey};

// The kinds of difference besides only-a and only-b, as the list names them.
constexpr const char* kKindNames[kDiffKinds] = {"A のみ",     "B のみ",     "ネクストホップ", "ディスタンス",
                                                "メトリック", "プロトコル", "候補デフォルト", "インターフェース"};

// Work ended by 中 断.
struct Stopped {};

constexpr CompareControl kCommands[] = {
    CompareControl::BrowseA, CompareControl::BrowseB,    CompareControl::BrowseMap,  CompareControl::BrowseAccepted,
    CompareControl::Compare, CompareControl::OpenReport, CompareControl::SaveReport, CompareControl::SaveCsv};
constexpr CompareControl kInputs[] = {CompareControl::LogA, CompareControl::LogB, CompareControl::InterfaceMap,
                                      CompareControl::Accepted};

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Separated(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

// What an exception says: an IoError names the file and the reason.
std::string Reason(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "不明な理由";
  }
}

// A route's raw lines as they read on screen: LF alone at their ends,
// Shift-JIS decoded.
std::string ShownLines(const std::string& raw) {
  std::string text;
  for (std::size_t k = 0; k < raw.size(); ++k)
    if (raw[k] != '\r')
      text += raw[k];
    else if (k + 1 == raw.size() || raw[k + 1] != '\n')
      text += '\n';
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return Decoded(text);
}

// One difference in words, then the route's lines in each log, as
// kestrel-compare --explain shows them.
std::string Detail(const DiffRecord& record, const std::string& status, const std::string (&raw)[2]) {
  const SideRecord(&side)[2] = record.side;
  std::string text = "経路: " + record.prefix + (record.vrf.empty() ? "" : "（VRF " + record.vrf + "）") + "\n";
  text += "状態: " + status;
  if (record.acceptedBy) text += "（既知の差分 " + std::to_string(record.acceptedBy) + " 行目）";
  text += "\n";
  if (record.kinds & kHops) {
    if (!record.removed.empty()) text += "A だけのネクストホップ: " + Separated(record.removed, "、") + "\n";
    if (!record.added.empty()) text += "B だけのネクストホップ: " + Separated(record.added, "、") + "\n";
  }
  if (record.kinds & kInterface)
    for (const auto& [a, b] : record.interfaces) text += "インターフェース: " + a + " → " + b + "\n";
  if (record.kinds & (kDistance | kMetric))
    text += "ディスタンス/メトリック: " + (side[0].bracket.empty() ? "なし" : side[0].bracket) + " → " +
            (side[1].bracket.empty() ? "なし" : side[1].bracket) + "\n";
  if (record.kinds & (kProtocol | kCandidateDefault))
    text += "プロトコル: " + side[0].protocol + " → " + side[1].protocol + "\n";
  for (int s = 0; s < 2; ++s) {
    text += std::string("\n") + (s ? "B" : "A");
    if (!side[s].present) {
      text += ": この経路はありません\n";
      continue;
    }
    text += ": " + side[s].file + " " + std::to_string(side[s].line) + " 行目\n" + ShownLines(raw[s]) + "\n";
  }
  return text;
}

}  // namespace

const char* CompareCaption(CompareControl control) {
  switch (control) {
    case CompareControl::LogA: return "比較元ログ (A)";
    case CompareControl::LogB: return "比較先ログ (B)";
    case CompareControl::InterfaceMap: return "インターフェース対応表";
    case CompareControl::Accepted: return "既知の差分";
    case CompareControl::NoLocal: return "ローカル経路を除く";
    case CompareControl::Compare: return "比 較";
    case CompareControl::Close: return kCloseCaption;
    case CompareControl::Search: return "検索";
    case CompareControl::List: return "差分";
    case CompareControl::OpenReport: return "レポートを開く";
    case CompareControl::SaveReport: return "レポートを保存";
    case CompareControl::SaveCsv: return "CSV を保存";
    default: return "参照";
  }
}

const char* FilterCaption(int filter) { return filter < kKindFilters ? kKindNames[filter] : "既知"; }

const char* ColumnCaption(int column) {
  constexpr const char* kColumns[kCompareColumns] = {"経路", "状態", "相違点", "A の行", "B の行"};
  return kColumns[column];
}

const std::string& CompareRow::Cell(int column) const {
  const std::string* cells[kCompareColumns] = {&prefix, &status, &differences, &lineA, &lineB};
  return *cells[column];
}

// A comparison's tables, rules and differences, which the records point into.
struct ComparePresenter::Result {
  std::string logs[2], mapName;
  Table tables[2];
  InterfaceMap map;
  AcceptList accepted;
  Rules rules;
  Comparison comparison;
  std::unique_ptr<Describer> describer;
  std::vector<std::string> searched;  // SearchedText's, once searched
};

ComparePresenter::ComparePresenter(CompareView& view, FormEnvironment environment, FileSystem& fs)
    : view_(view), environment_(std::move(environment)), fs_(fs) {
  SetMessageLanguage(Language::Japanese);  // the system's reasons too
  for (int c = 0; c <= static_cast<int>(CompareControl::SaveCsv); ++c) {
    const auto control = static_cast<CompareControl>(c);
    captions_[control] = CompareCaption(control);
    enabled_[control] = true;
  }
  for (const CompareControl field : kFields) values_[field] = "";
}

ComparePresenter::~ComparePresenter() {
  abort_ = true;
  if (worker_.joinable()) worker_.join();
  JoinStopped();
  for (const std::string& report : tempReports_) {
    try {
      const FilePlace place(fs_, report);
      fs_.Remove(place.Folder(), place.Name());
    } catch (const IoError&) {  // its folder is gone: so is the report
    }
  }
}

void ComparePresenter::Load(const std::vector<std::string>& logs) {
  view_.SetTitle("経路表の比較 " + WindowTitle(KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR));
  const AppPaths paths = ComputeAppPaths(environment_.programDir, environment_.programDirWritable,
                                         environment_.configDir, environment_.tempDir, environment_.processId);
  iniPath_ = paths.iniPath;
  tempDir_ = paths.tempDir;
  for (const CompareControl report : {CompareControl::OpenReport, CompareControl::SaveReport, CompareControl::SaveCsv})
    SetEnabled(report, false);
  for (std::size_t f = 0; f < std::size(kFields); ++f)
    SetText(kFields[f], WinSys::GetIniString(iniPath_, kSection, kFieldKeys[f], fs_));
  noLocal_ = WinSys::ReadsAsTrue(WinSys::GetIniString(iniPath_, kSection, kNoLocalKey, fs_));
  view_.SetChecked(noLocal_);
  Dropped(logs);
  if (logs.size() == 2) return Run();
  // More logs than sides (several files sent at once): which two were
  // meant is the user's to say, so nothing is compared yet.
  if (logs.size() > 2)
    view_.ShowMessage("比較できるのは 2 つのログ（A と B）です。選ばれた " + std::to_string(logs.size()) +
                      " 個のうち最初の 2 つを入れました。確かめてから「比 較」を押してください。");
}

void ComparePresenter::SetText(CompareControl field, const std::string& value) {
  if (values_[field] == value) return;
  values_[field] = value;
  view_.ShowText(field, value);
}

void ComparePresenter::SetCaption(CompareControl control, const std::string& caption) {
  if (captions_[control] == caption) return;
  captions_[control] = caption;
  view_.SetCaption(control, caption);
}

void ComparePresenter::SetEnabled(CompareControl control, bool enabled) {
  enabled_[control] = enabled;
  view_.SetEnabled(control, enabled);
}

void ComparePresenter::Save(const char* key, const std::string& value) {
  if (WinSys::PutIniString(iniPath_, kSection, key, value, fs_) || saveFailed_) return;
  saveFailed_ = true;  // said once: the choices still apply while the window is open
  view_.Beep();
  view_.ShowMessage("設定を保存できませんでした。\n" + std::string(IoError(iniPath_, errno).what()));
}

void ComparePresenter::Edited(CompareControl field, const std::string& value) {
  if (field == CompareControl::Search) return Search(value);
  const std::string meant = PathAsMeant(value);
  if (meant != value) view_.ShowText(field, meant);
  values_[field] = meant;
}

void ComparePresenter::Toggled(bool checked) {
  if (noLocal_ == checked) return;
  noLocal_ = checked;
  Save(kNoLocalKey, checked ? "TRUE" : "FALSE");
}

void ComparePresenter::Dropped(const std::vector<std::string>& files) {
  if (files.empty() || files[0].empty()) return;
  if (files.size() >= 2 && !files[1].empty()) {
    SetText(CompareControl::LogA, files[0]);
    SetText(CompareControl::LogB, files[1]);
    return;
  }
  // One log fills the empty field, A first; with both filled it replaces B,
  // the log that A is compared with.
  SetText(Value(CompareControl::LogA).empty() ? CompareControl::LogA : CompareControl::LogB, files[0]);
}

void ComparePresenter::Browse(CompareControl field) {
  view_.SetFocus(field);
  const std::optional<std::string> chosen = view_.ChooseFile(Value(field));
  if (chosen && !chosen->empty()) SetText(field, *chosen);
}

void ComparePresenter::Clicked(CompareControl button) {
  switch (button) {
    case CompareControl::BrowseA:
    case CompareControl::BrowseB:
    case CompareControl::BrowseMap:
    case CompareControl::BrowseAccepted:
      if (!running_) Browse(static_cast<CompareControl>(static_cast<int>(button) - 1));
      return;
    case CompareControl::Compare:
      if (!running_) Run();
      return;
    case CompareControl::OpenReport:
      if (!running_ && result_) OpenReport();
      return;
    case CompareControl::SaveReport:
    case CompareControl::SaveCsv:
      if (!running_ && result_) SaveReport(button == CompareControl::SaveCsv ? SavedReport::Csv : SavedReport::Html);
      return;
    case CompareControl::Close:
      if (!running_) return view_.Close();
      SetEnabled(CompareControl::Close, false);
      abort_ = true;  // seen by the work at its next block
      return;
    default: return;
  }
}

bool ComparePresenter::CloseRequested() {
  if (!running_) return true;
  if (Enabled(CompareControl::Close)) Clicked(CompareControl::Close);
  closeAfterRun_ = true;
  return false;
}

std::unique_ptr<ComparePresenter::Result> ComparePresenter::ReadAndCompare(const std::string (&logs)[2],
                                                                           const std::string& map,
                                                                           const std::string& accepted, bool noLocal) {
  auto result = std::make_unique<Result>();
  result->logs[0] = logs[0];
  result->logs[1] = logs[1];
  result->mapName = map;
  Rules& rules = result->rules;
  rules.ignoreLocal = noLocal;
  if (!map.empty()) {
    result->map = InterfaceMap::Load(fs_, map);
    rules.interfaceMap = &result->map;
  }
  if (!accepted.empty()) {
    result->accepted = AcceptList::Load(fs_, accepted);
    rules.accepted = &result->accepted;
  }
  // Both sides are read at once, as kestrel-compare reads them, each on a
  // core of its own; a side that fails stops the other, 中 断 both.
  FileSystem* const fs[2] = {&fs_, &fs_};
  const std::vector<std::string> sides[2] = {{logs[0]}, {logs[1]}};
  ReadSides(fs, sides, result->tables, false, [&](int s) {
    if (abort_) throw Stopped{};
    std::uint64_t lines = 0;
    for (const Source& source : result->tables[s].sources) lines += source.Lines();
    linesRead_[s] = lines;
  });
  result->comparison = compare::Compare(result->tables[0], result->tables[1], rules, [&] {
    if (abort_) throw Stopped{};
  });
  for (int s = 0; s < 2; ++s)
    if (result->comparison.unread[s])
      throw IoError(logs[s], 0, "経路を 1 つも読めませんでした（show ip route の出力ではないようです）");
  result->describer =
      std::make_unique<Describer>(result->tables[0], result->tables[1], result->comparison, rules, false);
  return result;
}

void ComparePresenter::StartWork(Work work, std::function<void()> run, std::function<void(std::exception_ptr)> finish) {
  JoinStopped();
  running_ = true;
  work_ = work;
  abort_ = false;
  workDone_ = false;
  linesRead_[0] = linesRead_[1] = 0;
  for (const CompareControl command : kCommands) SetEnabled(command, false);
  SetCaption(CompareControl::Close, kAbortCaption);
  view_.SetFocus(CompareControl::Close);
  view_.ShowProgress(work == Work::Comparing ? "読み込み中: A 0 行、B 0 行"
                     : work == Work::Writing ? "レポートを書いています"
                                             : "経路の行を読んでいます");
  finish_ = std::move(finish);
  worker_ = std::thread([this, run = std::move(run)] {
    try {
      run();
    } catch (...) {
      workFailure_ = std::current_exception();
    }
    workDone_ = true;
  });
  view_.SetTicking(true);
}

void ComparePresenter::Tick() {
  if (!worker_.joinable()) return;
  // Work that only reads (a comparison, a row's lines) ends for the user as
  // soon as 中 断 is clicked: its thread finishes its step (a side's sort,
  // say) out of sight, and what it made is dropped. A report being saved is
  // waited for, so that what the message says of the file is true.
  const bool leftToStop = abort_ && !workDone_ && work_ != Work::Writing;
  if (!workDone_ && !leftToStop) {
    if (work_ == Work::Comparing)
      view_.ShowProgress("読み込み中: A " + std::to_string(linesRead_[0]) + " 行、B " + std::to_string(linesRead_[1]) +
                         " 行");
    return;
  }
  if (leftToStop)
    stopping_ = std::move(worker_);
  else
    worker_.join();
  view_.SetTicking(false);
  running_ = false;
  const Work work = std::exchange(work_, Work::None);
  view_.ShowProgress("");
  SetCaption(CompareControl::Close, kCloseCaption);
  for (const CompareControl command : kCommands) SetEnabled(command, true);
  SetEnabled(CompareControl::Close, true);
  const auto finish = std::exchange(finish_, {});
  const std::exception_ptr failure = leftToStop ? nullptr : std::exchange(workFailure_, nullptr);
  bool stopped = leftToStop;
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const Stopped&) {
      stopped = true;
    } catch (...) {
    }
  }
  view_.SetFocus(work == Work::Comparing ? CompareControl::Compare : CompareControl::List);
  if (!stopped) finish(failure);
  if (!result_)
    for (const CompareControl report :
         {CompareControl::OpenReport, CompareControl::SaveReport, CompareControl::SaveCsv})
      SetEnabled(report, false);
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    return view_.Close();
  }
  if (stopped) view_.ShowMessage(std::exchange(stoppedText_, {}));
}

void ComparePresenter::JoinStopped() {
  if (stopping_.joinable()) stopping_.join();
  workFailure_ = nullptr;
}

void ComparePresenter::Run() {
  for (const CompareControl field : {CompareControl::LogA, CompareControl::LogB}) {
    if (!Value(field).empty()) continue;
    view_.Beep();
    view_.SetFocus(field);
    return;
  }
  JoinStopped();  // a row's lines still being read from the result about to go
  for (std::size_t f = 0; f < std::size(kFields); ++f) Save(kFieldKeys[f], Value(kFields[f]));
  result_.reset();
  tempReportCurrent_ = false;
  summary_.clear();
  shown_.clear();
  view_.SetRowCount(0);
  view_.ShowSummary("", "");
  stoppedText_ = "比較を中断しました。";
  // The work has its own copies of the choices: the fields may change meanwhile.
  const std::string logs[2] = {Value(CompareControl::LogA), Value(CompareControl::LogB)};
  auto result = std::make_shared<std::unique_ptr<Result>>();
  StartWork(
      Work::Comparing,
      [this, result, logs, map = Value(CompareControl::InterfaceMap), accepted = Value(CompareControl::Accepted),
       noLocal = noLocal_] { *result = ReadAndCompare(logs, map, accepted, noLocal); },
      [this, result](std::exception_ptr failure) { Compared(std::move(*result), failure); });
}

void ComparePresenter::Compared(std::unique_ptr<Result> result, std::exception_ptr failure) {
  if (failure) {
    view_.Beep();
    view_.ShowMessage("比較できませんでした。\n" + Reason(failure));
    return;
  }
  result_ = std::move(result);
  const Comparison& c = result_->comparison;
  summary_ = c.diffs.empty() ? "同じ経路表です"
                             : "差分 " + std::to_string(c.diffs.size()) + " 件: A のみ " + std::to_string(c.onlyA) +
                                   "、B のみ " + std::to_string(c.onlyB) + "、相違 " + std::to_string(c.differ) +
                                   "、既知 " + std::to_string(c.accepted);
  const Table(&t)[2] = result_->tables;
  const std::uint64_t warnings = t[0].Warnings() + t[1].Warnings() + c.warnings.size();
  const std::uint64_t unparsed = t[0].Unparsed() + t[1].Unparsed();
  std::string noted = warnings ? "警告 " + std::to_string(warnings) + " 件" : "";
  if (unparsed)
    noted += (noted.empty() ? "" : "、") + std::string("読めなかった行 ") + std::to_string(unparsed) + " 行";
  view_.ShowSummary(summary_, noted);
  Filter();
}

void ComparePresenter::WriteReportTo(SavedReport kind, FileHandle file, const std::string& name) {
  const Result& r = *result_;
  ReportData data;
  for (int s = 0; s < 2; ++s) data.table[s] = &r.tables[s];
  data.comparison = &r.comparison;
  data.rules = &r.rules;
  data.version = KESTREL_VERSION_TEXT;
  data.interfaceMapName = r.mapName;
  data.csvBom = true;  // for Excel, which most of the window's users open a CSV with
  const bool html = kind == SavedReport::Html;
  const std::vector<std::uint32_t> none[2];  // no route explained
  const auto stop = [this] {
    if (abort_) throw Stopped{};
  };
  FetchRawLines(fs_, data, html, html ? kRawRoutesInHtml : 0, none, stop);
  BlockWriter out(fs_, file, name, stop, stop);
  WriteReport(html ? Format::Html : Format::Csv, data, out);
  out.Flush();
}

void ComparePresenter::OpenReport() {
  if (tempReportCurrent_) {
    if (!view_.OpenInBrowser(tempReports_.back()))
      view_.ShowMessage("ブラウザーで開けませんでした。\n" + tempReports_.back());
    return;
  }
  stoppedText_ = "レポートの作成を中断しました。";
  StartWork(
      Work::Writing,
      [this] {
        const FilePlace folder(fs_, JoinPath(tempDir_, "report"));  // the temporary folder, held
        std::string name;
        OwnedFile file(fs_, CreateNumbered(
                                fs_, folder.Folder(),
                                [this](std::uint32_t n) {
                                  return "kestrel-compare-" + std::to_string(environment_.processId) + "-" +
                                         std::to_string(n) + ".html";
                                },
                                1, name));
        tempReports_.push_back(JoinPath(tempDir_, name));
        WriteReportTo(SavedReport::Html, file.Get(), tempReports_.back());
        if (file.Close() != 0) throw IoError(tempReports_.back(), errno);
      },
      [this](std::exception_ptr failure) {
        if (failure) {
          view_.Beep();
          view_.ShowMessage("レポートを作れませんでした。\n" + Reason(failure));
          return;
        }
        if (tempReports_.empty()) return;
        tempReportCurrent_ = true;
        if (!view_.OpenInBrowser(tempReports_.back()))
          view_.ShowMessage("ブラウザーで開けませんでした。\n" + tempReports_.back());
      });
}

void ComparePresenter::SaveReport(SavedReport kind) {
  const std::optional<std::string> chosen = view_.ChooseSaveFile(
      JoinPath(DirectoryOf(result_->logs[0]), kind == SavedReport::Html ? "比較.html" : "比較.csv"), kind);
  if (!chosen || chosen->empty()) return;
  const std::string path = *chosen;
  // A report over one of the files it is made from would destroy what it reports on.
  std::vector<std::string> inputs{result_->logs[0], result_->logs[1]};
  for (const CompareControl input : kInputs) inputs.push_back(Value(input));
  FileInfo output;
  if (fs_.PathInfo(path, &output) == 0)
    for (const std::string& input : inputs) {
      FileInfo info;
      if (input.empty() || fs_.PathInfo(input, &info) != 0 || !SameFile(info.identity, output.identity)) continue;
      view_.Beep();
      view_.ShowMessage("レポートを保存できませんでした。\n" + path + ": 比較に使うファイルには保存できません");
      return;
    }
  stoppedText_ = "レポートの保存を中断しました。保存先は元のままです。";
  StartWork(
      Work::Writing,
      [this, kind, path] {
        FilePlace target(fs_, path);
        target.FollowLinks();
        const OwnedFile original(fs_, fs_.OpenRead(path));
        ReplacementFile replacement(fs_);
        replacement.Create(std::move(target), original.Get(), path);
        WriteReportTo(kind, replacement.Handle(), path);
        replacement.Commit();
      },
      [this](std::exception_ptr failure) {
        if (!failure) return;
        view_.Beep();
        view_.ShowMessage("レポートを保存できませんでした。\n" + Reason(failure));
      });
}

void ComparePresenter::Activated(std::size_t row) {
  if (running_ || row >= shown_.size()) return;
  auto record = std::make_shared<DiffRecord>((*result_->describer)[shown_[row]]);
  auto raw = std::make_shared<std::vector<RawRequest>>(2);
  stoppedText_ = "経路の行の読み込みを中断しました。";
  StartWork(
      Work::Fetching,
      [this, record, raw] {
        for (int s = 0; s < 2; ++s) {
          if (!record->side[s].present) continue;
          const Table& table = result_->tables[s];
          const Route& route = table.routes[record->side[s].route];
          (*raw)[s] = {route.source, route.offset, route.span, {}};
          std::vector<RawRequest*> request{&(*raw)[s]};
          FetchRaw(fs_, table, request, [this] {
            if (abort_) throw Stopped{};
          });
        }
      },
      [this, record, raw](std::exception_ptr failure) {
        if (failure) {
          view_.Beep();
          view_.ShowMessage("経路の行を読めませんでした。\n" + Reason(failure));
          return;
        }
        const CompareRow row = Row(*record);
        const std::string lines[2] = {(*raw)[0].text, (*raw)[1].text};
        view_.ShowDetail(row.prefix, Detail(*record, row.status, lines));
      });
}

void ComparePresenter::ShowKind(int kind, bool shown) {
  kindsShown_ = static_cast<std::uint8_t>(shown ? kindsShown_ | kind : kindsShown_ & ~kind);
  Filter();
}

void ComparePresenter::ShowAccepted(bool shown) {
  acceptedShown_ = shown;
  Filter();
}

void ComparePresenter::Search(const std::string& text) {
  words_.clear();
  const std::string lower = Lower(text);
  for (std::size_t at = 0; (at = lower.find_first_not_of(" \t", at)) != std::string::npos;) {
    const std::size_t end = lower.find_first_of(" \t", at);
    words_.push_back(lower.substr(at, end - at));
    at = end;
  }
  Filter();
}

// The rows shown: those of a kind shown, accepted ones only when shown, and
// with the search's every word in the row's texts or its routes' next hops,
// as the HTML report filters.
void ComparePresenter::Filter() {
  shown_.clear();
  const std::vector<RouteDiff> none;
  const std::vector<RouteDiff>& diffs = result_ ? result_->comparison.diffs : none;
  for (std::uint32_t i = 0; i < diffs.size(); ++i) {
    if (!(diffs[i].kinds & kindsShown_) || (diffs[i].accepted && !acceptedShown_)) continue;
    if (!words_.empty()) {
      const std::string& text = SearchedText(i);
      bool all = true;
      for (const std::string& word : words_) all = all && text.find(word) != std::string::npos;
      if (!all) continue;
    }
    shown_.push_back(i);
  }
  view_.SetRowCount(shown_.size());
}

// A difference's texts that a search looks in, lower-cased; made for every
// difference at the first search, so that each key typed costs only the finds.
const std::string& ComparePresenter::SearchedText(std::uint32_t i) {
  std::vector<std::string>& texts = result_->searched;
  if (texts.empty()) {
    texts.reserve(result_->comparison.diffs.size());
    for (std::uint32_t d = 0; d < result_->comparison.diffs.size(); ++d) {
      const DiffRecord record = (*result_->describer)[d];
      const CompareRow row = Row(record);
      std::string text = record.vrf + "\n" + row.prefix + "\n" + row.status + "\n" + row.differences + "\n" +
                         Separated(std::vector<std::string>(record.differences.begin(), record.differences.end()), " ");
      for (const SideRecord& side : record.side)
        text += "\n" + side.protocol + " " + side.bracket + "\n" + Separated(side.hops, "\n");
      for (const auto& [a, b] : record.interfaces) text += "\n" + a + "\n" + b;
      text += "\n" + Separated(record.removed, "\n") + "\n" + Separated(record.added, "\n");
      texts.push_back(Lower(text));
    }
  }
  return texts[i];
}

CompareRow ComparePresenter::Row(std::size_t i) const { return Row((*result_->describer)[shown_.at(i)]); }

CompareRow ComparePresenter::Row(const DiffRecord& record) {
  CompareRow row;
  row.prefix = (record.vrf.empty() ? "" : "VRF " + record.vrf + ": ") + record.prefix;
  row.status = record.status == DiffStatus::OnlyA ? "A のみ" : record.status == DiffStatus::OnlyB ? "B のみ" : "相違";
  if (record.accepted) row.status += "（既知）";
  std::vector<std::string> kinds;
  for (int k = 2; k < kDiffKinds; ++k)
    if (record.kinds & (1 << k)) kinds.push_back(kKindNames[k]);
  row.differences = Separated(kinds, "、");
  if (record.side[0].present) row.lineA = std::to_string(record.side[0].line);
  if (record.side[1].present) row.lineB = std::to_string(record.side[1].line);
  return row;
}

}  // namespace kestrel
