#include "compare_presenter.h"

#include <cerrno>

#include "app_paths.h"
#include "comparison.h"
#include "io_error.h"
#include "kestrel_version.h"
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
// The progress is repainted and events pumped at most this often, as in the converter.
constexpr std::int64_t kScreenPaceMs = 40;

constexpr CompareControl kFields[] = {CompareControl::LogA, CompareControl::LogB, CompareControl::InterfaceMap,
                                      CompareControl::Accepted};
constexpr const char* kFieldKeys[] = {kLogAKey, kLogBKey, kMapKey, kAcceptedKey};

// The kinds of difference besides only-a and only-b, as the list names them.
constexpr const char* kKindNames[kDiffKinds] = {"A のみ",     "B のみ",     "ネクストホップ", "ディスタンス",
                                                "メトリック", "プロトコル", "候補デフォルト", "インターフェース"};

// A comparison ended by 中 断.
struct Stopped {};

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
  Table tables[2];
  InterfaceMap map;
  AcceptList accepted;
  Rules rules;
  Comparison comparison;
  std::unique_ptr<Describer> describer;
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

ComparePresenter::~ComparePresenter() = default;

void ComparePresenter::Load(const std::vector<std::string>& logs) {
  view_.SetTitle("経路表の比較 " + WindowTitle(KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR));
  iniPath_ = ComputeAppPaths(environment_.programDir, environment_.programDirWritable, environment_.configDir,
                             environment_.tempDir, environment_.processId)
                 .iniPath;
  for (std::size_t f = 0; f < std::size(kFields); ++f)
    SetText(kFields[f], WinSys::GetIniString(iniPath_, kSection, kFieldKeys[f], fs_));
  noLocal_ = WinSys::ReadsAsTrue(WinSys::GetIniString(iniPath_, kSection, kNoLocalKey, fs_));
  view_.SetChecked(noLocal_);
  if (logs.size() < 2) return Dropped(logs);
  Dropped(logs);
  Run();
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
    case CompareControl::Close:
      if (!running_) return view_.Close();
      SetEnabled(CompareControl::Close, false);
      abort_ = true;  // seen by the reading at its next block
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

std::unique_ptr<ComparePresenter::Result> ComparePresenter::ReadAndCompare() {
  auto result = std::make_unique<Result>();
  Rules& rules = result->rules;
  rules.ignoreLocal = noLocal_;
  if (const std::string& map = Value(CompareControl::InterfaceMap); !map.empty()) {
    result->map = InterfaceMap::Load(fs_, map);
    rules.interfaceMap = &result->map;
  }
  if (const std::string& accepted = Value(CompareControl::Accepted); !accepted.empty()) {
    result->accepted = AcceptList::Load(fs_, accepted);
    rules.accepted = &result->accepted;
  }
  // The sides are read in turn; after each block the progress is shown at
  // the screen's pace and the events pumped, 中 断 among them.
  std::int64_t lastPump = environment_.Now();
  auto progress = [&] {
    std::string text;
    for (int s = 0; s < 2; ++s) {
      std::uint64_t lines = 0;
      for (const Source& source : result->tables[s].sources) lines += source.Lines();
      text += std::string(s ? "、B " : "読み込み中: A ") + std::to_string(lines) + " 行";
    }
    view_.ShowProgress(text);
    lastPump = environment_.Now();
    if (abort_) throw Stopped{};
  };
  for (int s = 0; s < 2; ++s) {
    const std::string& log = Value(s ? CompareControl::LogB : CompareControl::LogA);
    ReadSide(fs_, {log}, result->tables[s], false, [&] {
      if (abort_) throw Stopped{};
      if (environment_.Now() - lastPump >= kScreenPaceMs) progress();
    });
    progress();
  }
  result->comparison = compare::Compare(result->tables[0], result->tables[1], rules);
  for (int s = 0; s < 2; ++s)
    if (result->comparison.unread[s])
      throw IoError(Value(s ? CompareControl::LogB : CompareControl::LogA), 0,
                    "経路を 1 つも読めませんでした（show ip route の出力ではないようです）");
  result->describer =
      std::make_unique<Describer>(result->tables[0], result->tables[1], result->comparison, rules, false);
  return result;
}

void ComparePresenter::Run() {
  for (const CompareControl field : {CompareControl::LogA, CompareControl::LogB}) {
    if (!Value(field).empty()) continue;
    view_.Beep();
    view_.SetFocus(field);
    return;
  }
  for (std::size_t f = 0; f < std::size(kFields); ++f) Save(kFieldKeys[f], Value(kFields[f]));
  running_ = true;
  abort_ = false;
  for (const CompareControl button : {CompareControl::BrowseA, CompareControl::BrowseB, CompareControl::BrowseMap,
                                      CompareControl::BrowseAccepted, CompareControl::Compare})
    SetEnabled(button, false);
  SetCaption(CompareControl::Close, kAbortCaption);
  view_.SetFocus(CompareControl::Close);
  result_.reset();
  summary_.clear();
  shown_.clear();
  view_.SetRowCount(0);
  view_.ShowSummary("", "");

  std::string failure;
  bool stopped = false;
  try {
    result_ = ReadAndCompare();
  } catch (const Stopped&) {
    stopped = true;
  } catch (const std::exception& e) {  // IoError: the file and the reason
    failure = e.what();
  }
  running_ = false;
  view_.ShowProgress("");
  SetCaption(CompareControl::Close, kCloseCaption);
  for (const CompareControl button : {CompareControl::BrowseA, CompareControl::BrowseB, CompareControl::BrowseMap,
                                      CompareControl::BrowseAccepted, CompareControl::Compare, CompareControl::Close})
    SetEnabled(button, true);
  view_.SetFocus(CompareControl::Compare);
  if (result_) {
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
  if (!failure.empty()) {
    view_.Beep();
    view_.ShowMessage("比較できませんでした。\n" + failure);
  }
  if (stopped && !closeAfterRun_) view_.ShowMessage("比較を中断しました。");
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    view_.Close();
  }
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
      const DiffRecord record = (*result_->describer)[i];
      const CompareRow row = Row(record);
      std::string text = record.vrf + "\n" + row.prefix + "\n" + row.status + "\n" + row.differences + "\n" +
                         Separated(std::vector<std::string>(record.differences.begin(), record.differences.end()), " ");
      for (const SideRecord& side : record.side)
        text += "\n" + side.protocol + " " + side.bracket + "\n" + Separated(side.hops, "\n");
      for (const auto& [a, b] : record.interfaces) text += "\n" + a + "\n" + b;
      text += "\n" + Separated(record.removed, "\n") + "\n" + Separated(record.added, "\n");
      text = Lower(text);
      bool all = true;
      for (const std::string& word : words_) all = all && text.find(word) != std::string::npos;
      if (!all) continue;
    }
    shown_.push_back(i);
  }
  view_.SetRowCount(shown_.size());
}

void ComparePresenter::Tick() {}

void ComparePresenter::Activated(std::size_t) {}

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
