// The comparison window's behaviour, whatever draws it: the presenter with a
// view that writes down what it is told.

#include "compare_presenter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "comparison.h"
#include "faulty_file_system.h"
#include "fixtures.h"
#include "kestrel_version.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace test;
using Texts = std::vector<std::string>;
using C = CompareControl;

class NotingCompareView : public CompareView, public Notes {
 public:
  void ShowText(C field, const std::string& value) override { shown[field] = value; }
  void SetChecked(bool checked) override { Note(checked ? "checked" : "unchecked"); }
  void SetCaption(C, const std::string& caption) override { Note("caption " + caption); }
  void SetEnabled(C control, bool enabled) override {
    Note(CompareCaption(control) + std::string(enabled ? " on" : " off"));
  }
  void SetFocus(C control) override { Note("focus " + std::string(CompareCaption(control))); }
  void SetTitle(const std::string& title) override { Note("title " + title); }
  void Beep() override { Note("beep"); }
  void ShowMessage(const std::string& text) override { Note("message " + text); }
  void ShowProgress(const std::string& text) override { progress.push_back(text); }
  void ShowSummary(const std::string& summary, const std::string& warnings) override {
    Note("summary " + summary + (warnings.empty() ? "" : " / " + warnings));
  }
  void SetRowCount(std::size_t count) override { rows = count; }
  std::optional<std::string> ChooseFile(const std::string&) override { return std::exchange(nextFile, {}); }
  std::optional<std::string> ChooseSaveFile(const std::string&, SavedReport) override {
    return std::exchange(nextFile, {});
  }
  void SetTicking(bool on) override { ticking = on; }
  void ShowDetail(const std::string& title, const std::string& text) override { Note("detail " + title + "\n" + text); }
  bool OpenInBrowser(const std::string& path) override {
    Note("browser " + path);
    return browserOpens;
  }
  void Close() override { Note("close"); }

  Texts progress;
  std::map<C, std::string> shown;
  std::size_t rows = 0;
  std::optional<std::string> nextFile;
  bool ticking = false, browserOpens = true;
};

class ComparePresenterTest : public ::testing::Test {
 protected:
  // A presenter in a fresh scratch folder with the settings file `ini` and
  // the two example logs, started on `logs`.
  ComparePresenter& Open(const std::string& ini, const Texts& logs = {}) {
    presenter_.reset();
    view_ = {};
    dir_ = std::make_unique<ScratchDir>();
    if (!ini.empty()) WriteFile(*dir_ / "Kestrel.ini", ini);
    for (const char* log : {"ix-show-ip-route.log", "cisco-show-ip-route.log"})
      WriteFile(*dir_ / log, ReadFile(std::string(KESTREL_EXAMPLES) + "/" + log));
    FormEnvironment environment{dir_->Path(), true, "", dir_->Path(), 1, true, [this] { return now_ += 50; }};
    presenter_ = std::make_unique<ComparePresenter>(view_, environment, fs_);
    Texts paths;
    for (const std::string& log : logs) paths.push_back(Path(log));
    presenter_->Load(paths);
    Settle();
    return *presenter_;
  }
  // Ticks as the view's timer does until the work on other threads is done.
  void Settle() {
    while (view_.ticking) {
      presenter_->Tick();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::string Path(const std::string& name) const { return JoinPath(dir_->Path(), name); }
  std::string Ini() const { return ReadFile(*dir_ / "Kestrel.ini"); }

  std::unique_ptr<ScratchDir> dir_;
  NotingCompareView view_;
  FaultyFileSystem fs_;
  std::unique_ptr<ComparePresenter> presenter_;
  std::int64_t now_ = 0;
};

// The last choices come back from their own section; a drop fills the empty
// log field, A first, two files fill both; Browse fills its own field.
TEST_F(ComparePresenterTest, FieldsDropsAndSettings) {
  ComparePresenter& p = Open("[Kestrel]\r\nFileExt=.txt\r\n[Compare]\r\nLogA=/l/a.log\r\nNoLocal=TRUE\r\n");
  EXPECT_EQ(view_.Take("title "),
            Texts{"経路表の比較 Kestrel Ver." + std::to_string(KESTREL_VERSION_MAJOR) + "." +
                  (KESTREL_VERSION_MINOR < 10 ? "0" : "") + std::to_string(KESTREL_VERSION_MINOR)});
  EXPECT_EQ(view_.shown[C::LogA], "/l/a.log");
  EXPECT_TRUE(p.Checked());
  p.Toggled(false);
  EXPECT_EQ(Ini(), "[Kestrel]\r\nFileExt=.txt\r\n[Compare]\r\nLogA=/l/a.log\r\nNoLocal=FALSE\r\n");
  for (const auto& [a, b, dropped, wantA, wantB] : {std::tuple{"", "", Texts{"/x"}, "/x", ""},
                                                    {"/a", "", Texts{"/x"}, "/a", "/x"},
                                                    {"", "/b", Texts{"/x"}, "/x", "/b"},
                                                    {"/a", "/b", Texts{"/x"}, "/a", "/x"},
                                                    {"/a", "/b", Texts{"/x", "/y", "/z"}, "/x", "/y"},
                                                    {"/a", "", Texts{}, "/a", ""}}) {
    p.Edited(C::LogA, a);
    p.Edited(C::LogB, b);
    p.Dropped(dropped);
    EXPECT_EQ(p.Value(C::LogA), wantA);
    EXPECT_EQ(p.Value(C::LogB), wantB);
  }
  view_.nextFile = "/l/ix-to-cisco.ifmap";
  p.Clicked(C::BrowseMap);
  EXPECT_EQ(p.Value(C::InterfaceMap), "/l/ix-to-cisco.ifmap");
  p.Edited(C::Accepted, "\"/l/known.txt\"");
  EXPECT_EQ(view_.shown[C::Accepted], "/l/known.txt");
}

// The example logs, as kestrel-compare finds them: the summary, the rows,
// filters and search; the fields used are saved.
TEST_F(ComparePresenterTest, ComparesTheExamples) {
  for (const auto& [noLocal, b, accepted, summary, rows] :
       {std::tuple{true, "cisco-show-ip-route.log", "", "差分 4 件: A のみ 0、B のみ 1、相違 3、既知 0", 4},
        {false, "cisco-show-ip-route.log", "", "差分 7 件: A のみ 0、B のみ 4、相違 3、既知 0", 7},
        {true, "cisco-show-ip-route.log", "10.3.0.0/16 metric\n", "差分 4 件: A のみ 0、B のみ 1、相違 3、既知 1", 3},
        {true, "ix-show-ip-route.log", "", "同じ経路表です", 0},
        {true, "twice.log", "", "同じ経路表です / 警告 13 件、読めなかった行 1 行", 0}}) {
    ComparePresenter& p = Open(noLocal ? "[Compare]\nNoLocal=TRUE\n" : "");
    WriteFile(*dir_ / "twice.log",
              ReadFile(*dir_ / "ix-show-ip-route.log") + "?\n" + ReadFile(*dir_ / "ix-show-ip-route.log"));
    if (*accepted) WriteFile(*dir_ / "known.txt", accepted), p.Edited(C::Accepted, Path("known.txt"));
    p.ShowAccepted(!*accepted);
    p.Dropped({Path("ix-show-ip-route.log"), Path(b)});
    p.Clicked(C::Compare);
    Settle();
    EXPECT_EQ(view_.Take("summary "), (Texts{"", summary}));
    EXPECT_EQ(p.RowCount(), static_cast<std::size_t>(rows));
    EXPECT_NE(Ini().find("LogB=" + Path(b)), std::string::npos);
    EXPECT_EQ(view_.Take("message "), Texts{});
  }
  // Three logs sent at once: the first two filled in, nothing compared.
  Open("", {"ix-show-ip-route.log", "cisco-show-ip-route.log", "x.log"});
  EXPECT_EQ(view_.Take("summary "), Texts{});
  EXPECT_EQ(view_.Take("message ").size(), 1u);
  EXPECT_EQ(view_.shown[C::LogB], Path("cisco-show-ip-route.log"));
  ComparePresenter& p = Open("[Compare]\nNoLocal=TRUE\n", {"ix-show-ip-route.log", "cisco-show-ip-route.log"});
  ASSERT_EQ(p.RowCount(), 4u);
  const CompareRow row = p.Row(0);
  EXPECT_EQ(row.prefix + "|" + row.status + "|" + row.differences + "|" + row.lineA + "|" + row.lineB,
            "10.2.0.0/16|相違|ネクストホップ|14|19");
  for (const auto& [kind, shown, accepted, search, count] : {std::tuple{compare::kOnlyB, false, true, "", 3},
                                                             {compare::kOnlyB, true, true, "NOTHERE", 0},
                                                             {compare::kOnlyB, true, true, " FastEthernet2.0 10.2.", 1},
                                                             {compare::kMetric, false, true, "10.3", 1},
                                                             {compare::kMetric, true, false, "", 4}}) {
    p.ShowKind(kind, shown);
    p.ShowAccepted(accepted);
    p.Search(search);
    EXPECT_EQ(p.RowCount(), static_cast<std::size_t>(count));
    EXPECT_EQ(view_.rows, static_cast<std::size_t>(count));
  }
  // A row's detail: what differs, then its lines in each log.
  p.Activated(0);
  Settle();
  EXPECT_EQ(
      view_.Take("detail "),
      Texts{"10.2.0.0/16\n経路: 10.2.0.0/16\n状態: 相違\nA だけのネクストホップ: 192.168.0.3 FastEthernet2.0\n\nA: " +
            Path("ix-show-ip-route.log") +
            " 14 行目\nO IA    10.2.0.0/16 [110/20] via 192.168.0.1, GigaEthernet0.0, 0:01:02\n"
            "                             via 192.168.0.2, GigaEthernet1.0, 0:01:02\n"
            "                             via 192.168.0.3, FastEthernet2.0, 0:01:02\n\nB: " +
            Path("cisco-show-ip-route.log") +
            " 19 行目\nO IA     10.2.0.0/16 [110/20] via 192.168.0.1, 00:01:02, GigabitEthernet0/0\n"
            "                     [110/20] via 192.168.0.2, 00:01:02, GigabitEthernet1/0\n"});
}

// The HTML report opens in the browser from the temporary folder, written
// once a result and removed with the window; a report is saved where the
// user chooses, but never over a file it is made from.
TEST_F(ComparePresenterTest, ReportsOpenAndSave) {
  ComparePresenter& p = Open("", {"ix-show-ip-route.log", "cisco-show-ip-route.log"});
  const std::string report = Path("kestrel-compare-1-1.html");  // in the temporary folder
  for (int round = 0; round < 2; ++round) {
    view_.browserOpens = round == 0;
    p.Clicked(C::OpenReport);
    Settle();
    EXPECT_EQ(view_.Take("browser "), Texts{report});
    EXPECT_EQ(view_.Take("message "), round ? Texts{"ブラウザーで開けませんでした。\n" + report} : Texts{});
  }
  EXPECT_NE(ReadFile(report).find("10.2.0.0/16"), std::string::npos);
  for (const auto& [button, chosen, said, starts] :
       {std::tuple{C::SaveCsv, "out.csv", "", "\xEF\xBB\xBF"},
        {C::SaveReport, "out.html", "", "<!DOCTYPE html>"},
        {C::SaveCsv, "cisco-show-ip-route.log", ": 比較に使うファイルには保存できません", "R1#show"},
        {C::SaveCsv, "none/out.csv", "none/out.csv: ", ""}}) {
    view_.nextFile = Path(chosen);
    p.Clicked(button);
    Settle();
    const Texts message = view_.Take("message ");
    ASSERT_EQ(message.size(), *said ? 1u : 0u);
    EXPECT_NE((message.empty() ? std::string() : message[0]).find(said), std::string::npos);
    EXPECT_EQ(*starts ? ReadFile(Path(chosen)).rfind(starts, 0) : 0, 0u) << chosen;
  }
  presenter_.reset();
  EXPECT_FALSE(std::filesystem::exists(report));
}

// A file that cannot be read, or holds no route, is named with the reason;
// a missing log beeps and takes the focus.
TEST_F(ComparePresenterTest, FailuresAreSaidInJapanese) {
  for (const auto& [a, map, message] : {std::tuple{"", "", ""},
                                        {"none.log", "", "none.log: "},
                                        {"ix-show-ip-route.log", "none.map", "none.map: "},
                                        {"ix-show-ip-route.log", "bad.map", "bad.map: 2 行目: 名前とその対応先の 2 語"},
                                        {"Kestrel.ini", "", "Kestrel.ini: 経路を 1 つも読めませんでした"}}) {
    ComparePresenter& p = Open("[Compare]\nNoLocal=TRUE\n");
    WriteFile(*dir_ / "bad.map", "a b\nGigaEthernet0.0\n");
    p.Edited(C::LogA, *a ? Path(a) : "");
    p.Edited(C::LogB, Path("cisco-show-ip-route.log"));
    p.Edited(C::InterfaceMap, *map ? Path(map) : "");
    p.Clicked(C::Compare);
    Settle();
    const Texts said = view_.Take("message ");
    if (!*a) {
      EXPECT_EQ(said, Texts{});
      EXPECT_EQ(view_.Take("focus "), Texts{"比較元ログ (A)"});
      continue;
    }
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("比較できませんでした。\n" + Path(*map ? map : a) + ": ", 0), 0u) << said[0];
    EXPECT_EQ(said[0].find(message) != std::string::npos, true) << said[0];
    EXPECT_EQ(p.RowCount(), 0u);
  }
}

// 中 断 or the close button during the reading stops it at the next block.
TEST_F(ComparePresenterTest, AbortStopsTheReading) {
  for (const bool close : {false, true}) {
    ComparePresenter& p = Open("");
    std::string big;
    while (big.size() < (std::size_t{3} << 20)) big += kRoutes;
    WriteFile(*dir_ / "big.log", big);
    p.Dropped({Path("big.log"), Path("cisco-show-ip-route.log")});
    p.Clicked(C::Compare);
    EXPECT_TRUE(p.Running());
    close ? (void)p.CloseRequested() : p.Clicked(C::Close);
    Settle();
    EXPECT_EQ(view_.Take("message "), close ? Texts{} : Texts{"比較を中断しました。"});
    EXPECT_EQ(view_.Take("close"), close ? Texts{""} : Texts{});
    EXPECT_FALSE(p.Running());
    EXPECT_EQ(p.Caption(C::Close), "閉じる");
    EXPECT_TRUE(p.Enabled(C::Compare));
    ASSERT_FALSE(view_.progress.empty());
    EXPECT_EQ(view_.progress[0].rfind("読み込み中: A ", 0), 0u);
  }
}

}  // namespace
}  // namespace kestrel
