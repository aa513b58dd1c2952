// The window's behaviour, whatever draws it: the presenter with a view that
// writes down what it is told, runs on POSIX systems and under Wine.

#include "form_presenter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <tuple>

#include "app_paths.h"
#include "faulty_file_system.h"
#include "fixtures.h"
#include "kestrel_version.h"
#include "platform.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace test;
using Texts = std::vector<std::string>;

// The system's reason for an error as the window words it: in Japanese.
std::string Reason(int error) {
  SetMessageLanguage(Language::Japanese);
  return ErrorText(error);
}

// Writes down what the presenter has it show and do, one line each.
class NotingView : public FormView, public Notes {
 public:
  void ShowText(Control field, const std::string& value) override { shown[field] = value; }
  void SetCaption(Control control, const std::string& caption) override {
    Note("caption " + std::string(FormControlOf(control).name) + " " + caption);
  }
  void SetEnabled(Control control, bool enabled) override {
    Note(std::string(FormControlOf(control).name) + (enabled ? " on" : " off"));
  }
  void SetChecked(bool checked) override { Note(checked ? "checked" : "unchecked"); }
  void SetFocus(Control control) override { Note("focus " + std::string(FormControlOf(control).name)); }
  void SetTitle(const std::string& title) override { Note("title " + title); }
  void Centre() override {}
  void Show() override {}
  void Close() override { Note("close"); }
  void Beep() override { Note("beep"); }
  void ShowMessage(const std::string& text) override { Note("message " + text); }
  std::optional<std::string> ChooseFile(const std::string&) override { return std::exchange(nextFile, {}); }
  void PumpEvents() override {
    if (onPump) onPump();
  }
  void ErrorLine(const std::string& line) override { Note("error " + line); }

  std::map<Control, std::string> shown;
  std::optional<std::string> nextFile;
  std::function<void()> onPump;
};

class PresenterTest : public ::testing::Test {
 protected:
  // A presenter in a fresh scratch folder holding the settings file `ini`
  // (none when empty), whose program folder it is or, installed, one it
  // cannot write, started on the logs named there.
  FormPresenter& Open(const std::string& ini, const Texts& logs = {}, bool installed = false,
                      const std::function<void()>& beforeLoad = {}, const Texts& unmatched = {}) {
    presenter_.reset();
    view_ = {};
    now_ = 0;
    dir_ = std::make_unique<ScratchDir>();
    if (!ini.empty()) Write(installed ? "config/Kestrel/Kestrel.ini" : "Kestrel.ini", ini);
    FormEnvironment environment{dir_->Path(), !installed,  Path("config/Kestrel"),          Path("tmp"),
                                0x42,         errorsSeen_, [this] { return now_ += step_; }};
    presenter_ = std::make_unique<FormPresenter>(view_, environment, fs_);
    if (beforeLoad) beforeLoad();
    Texts paths;
    for (const std::string& log : logs) paths.push_back(Path(log));
    presenter_->Form_Load(paths, unmatched);
    return *presenter_;
  }
  std::string Path(const std::string& name) const { return JoinPath(dir_->Path(), name); }
  void Write(const std::string& name, const std::string& bytes) { WriteFile(*dir_ / name, bytes); }
  std::string Ini() const { return FileExists(*dir_ / "Kestrel.ini") ? ReadFile(*dir_ / "Kestrel.ini") : ""; }
  // Runs `action` when the run first produces the progress text `when`.
  void AtProgress(const std::string& when, std::function<void()> action) {
    presenter_->OnProgress([=, this](const std::string& text) {
      if (text != when) return;
      const std::function<void()> once = action;  // outlives the hook it was kept in
      presenter_->OnProgress({});
      once();
    });
  }

  std::unique_ptr<ScratchDir> dir_;
  NotingView view_;
  FaultyFileSystem fs_;
  std::unique_ptr<FormPresenter> presenter_;
  std::int64_t now_ = 0, step_ = 50;  // the clock moves this far each time it is read
  bool errorsSeen_ = true;
};

// Start-up shows the settings and saves nothing; the check box saves each
// change, beside the program or, installed, in the user's own folder.
TEST_F(PresenterTest, StartUpLoadsTheSettingsAndTheyAreSavedOnChange) {
  EXPECT_EQ(WindowTitle(1, 5), "Kestrel Ver.1.05");
  for (const auto& [installed, stored, output, checked] :
       {std::tuple{false, "; by hand\r\n[kestrel]\r\nfileext=txt\r\nOverWrite=True\r\n", "/l/ix1txt", true},
        {false, "", "/l/ix1", false},
        {true, "", "/l/ix1", false}}) {
    FormPresenter& p = Open(stored, {}, installed);
    const std::string ini = *dir_ / (installed ? "config/Kestrel/Kestrel.ini" : "Kestrel.ini");
    EXPECT_EQ(view_.Take("title "), Texts{WindowTitle(KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR)});
    EXPECT_EQ(p.TempCopyPath(), JoinPath(Path("tmp"), "Kestrel-00000042.tmp"));
    EXPECT_EQ(p.Checked(), checked);
    EXPECT_EQ(FileExists(ini) ? ReadFile(ini) : "", stored);
    p.Edited(Control::Text1, "/l/ix1.log");
    EXPECT_EQ(view_.shown[Control::Text2], checked ? "/l/ix1.log" : output);  // an extension is used as stored
    for (const bool on : {!checked, checked}) {
      p.Toggled(on);
      EXPECT_EQ(view_.shown[Control::Text2], on ? "/l/ix1.log" : output);  // in place, the log itself
      EXPECT_NE(ReadFile(ini).find(on ? "OverWrite=TRUE" : "OverWrite=FALSE"), std::string::npos);
    }
  }
  // The output path follows the input path and the extension, which is saved
  // with a dot; a hand-edited output path is replaced; without a log it is
  // empty. A value set again unchanged raises no handler.
  FormPresenter& p = Open("");
  for (const auto& [typed, input, output, saved] : {std::tuple{"tx.t", "/l/ix1.log", "/l/ix1tx.t", "tx.t"},
                                                    {"", "/l/ix1.log", "/l/ix1.", "."},
                                                    {"txt", "/l/ix1.log", "/l/ix1.txt", ".txt"},
                                                    {"txt", "/l.d/ix1", "/l.d/ix1.txt", ".txt"},
                                                    {"txt", "/l/ix1.2020.log", "/l/ix1.2020.txt", ".txt"},
                                                    {"txt", "/l/ix1.", "/l/ix1.txt", ".txt"},
                                                    {"txt", "", "", ".txt"},
                                                    {"txt", "/l/.hidden", "/l/.txt", ".txt"},
                                                    {"txt", ".hidden", ".txt", ".txt"}}) {
    p.Edited(Control::Text2, "/elsewhere/by-hand.txt");
    p.Edited(Control::Text1, input);
    p.Edited(Control::Text3, typed);
    EXPECT_EQ(view_.shown[Control::Text2], output);
    EXPECT_NE(Ini().find("FileExt=" + std::string(saved) + "\r\n"), std::string::npos);
  }
  WriteFile(*dir_ / "Kestrel.ini", "");
  p.Edited(Control::Text3, "txt");
  p.Toggled(false);
  EXPECT_EQ(Ini(), "");
}

// A path pasted from elsewhere is taken as meant, and shown so.
TEST_F(PresenterTest, PastedPathsAreTakenAsMeant) {
  FormPresenter& p = Open("[Kestrel]\nFileExt=.txt\n");
  for (const auto& [pasted, meant] : {std::pair{"\"/l/ix 1.log\"", "/l/ix 1.log"},
                                      {"/l/ix1.log\r\n", "/l/ix1.log"},
                                      {"file:///l/ix%201.log", "/l/ix 1.log"},
                                      {"file://localhost/l/a%2", "/l/a%2"},
                                      {"\"", "\""}}) {
    view_.shown[Control::Text1] = pasted;  // as the user pasted it
    p.Edited(Control::Text1, pasted);
    EXPECT_EQ(p.Value(Control::Text1), meant);
    EXPECT_EQ(view_.shown[Control::Text1], meant);
  }
}

// Drops and Browse name the input log: the first of several files; a
// cancelled dialog changes nothing.
TEST_F(PresenterTest, DropsAndBrowseNameTheLog) {
  FormPresenter& p = Open("[Kestrel]\nFileExt=.txt\n");
  p.Form_OLEDragDrop({"/l/1.log", "/l/2.log"});
  p.Form_OLEDragDrop({});
  EXPECT_EQ(view_.shown[Control::Text2], "/l/1.txt");
  for (const char* chosen : {"/l/chosen.log", ""}) {
    view_.nextFile = chosen;
    p.Command3_Click();
    EXPECT_EQ(view_.shown[Control::Text2], "/l/chosen.txt");
  }
  EXPECT_EQ(view_.Take("focus "), (Texts{"Text1", "Text1"}));
}

// How a run ends: finished, aborted or the window closed at a progress
// text, or failed; the buttons, the focus and the captions on the way. A
// name another run left behind is skipped.
TEST_F(PresenterTest, RunsEndAsTheyShould) {
  struct End {
    const char* log;
    bool inPlace;
    const char* when;  // the progress text at which it is done
    bool close;        // closing the window rather than pressing Abort
    int written;       // lines then in the output, -1: as it was
    std::string message;
    const char* typed;  // the output path typed, "" derived
    const char* said;   // after an abort, before the path of what it left
  };
  const End ends[] = {
      {"ix1.log", false, "", false, 250, "", "", ""},
      {"ix1.log \t ", false, "", false, 250, "", "", ""},
      {"ix1.log", false, "0 / 100", false, -1, "", "",
       "ログの読み込み中に中断しました（100 行目まで）。\n出力ファイルには何も書き込んでいません:\n"},
      {"ix1.log", false, "100 / 250", false, 100, "", "",
       "変換を中断しました（100 / 250 行）。\n出力ファイルには、変換の済んだ最初の 100 行だけが入っています:\n"},
      {"ix1.log", true, "100 / 250", false, -1, "", "", "変換を中断しました（100 / 250 行）。\nログは元のままです:\n"},
      {"ix1.log", true, "100 / 250", true, -1, "", "", ""},
      {"missing.log", false, "", false, -1, "missing.log: " + Reason(ENOENT), "", ""},
      {"ix1.log", false, "", false, -1,
       "ix1.log: 出力先がログそのものなので変換しませんでした\nログをその場で変換するには、「ログファイル上書き」に"
       "チェックを入れてください。",
       "ix1.log", ""},
  };
  for (const End& e : ends) {
    SCOPED_TRACE(std::string(e.log) + " " + e.when);
    FormPresenter& p = Open("[Kestrel]\nFileExt=.txt\n");
    Write("ix1.log", NumberedLog(250));
    Write("ix1.txt", "earlier\r\n");
    Write("Kestrel-00000042.tmp", "left behind");
    p.Edited(Control::Text1, Path(e.log));
    if (*e.typed) p.Edited(Control::Text2, Path(e.typed));
    p.Toggled(e.inPlace);
    Texts during;
    AtProgress(*e.when ? e.when : "100 / 250", [&] {
      during = {p.Caption(Control::Command2), p.Enabled(Control::Command1) ? "on" : "off",
                p.Enabled(Control::Command3) ? "on" : "off"};
      if (!*e.when) return;
      e.close ? (void)p.CloseRequested() : p.Command2_Click();
      during.push_back(p.Enabled(Control::Command2) ? "on" : "off");
    });
    view_.notes.clear();
    p.Command1_Click();
    Texts expected = {"中 断", "off", "off", "off"};
    expected.resize(!e.message.empty() ? 0 : *e.when ? 4 : 3);
    EXPECT_EQ(during, expected);
    EXPECT_EQ(ReadFile(*dir_ / "ix1.log"), NumberedLog(250));
    EXPECT_EQ(ReadFile(*dir_ / "ix1.txt"), e.written < 0 ? "earlier\r\n" : NumberedLog(e.written, "\r\n"));
    const Texts message = view_.Take("message ");
    const std::string left = e.said + Path(e.inPlace ? "ix1.log" : "ix1.txt");
    EXPECT_EQ(message, !e.message.empty() ? Texts{"変換できませんでした。\n" + Path(e.message)}
                       : *e.said          ? Texts{left}
                                          : Texts{});
    EXPECT_EQ(view_.Take("beep"), Texts(!e.message.empty() ? 1 : 0, ""));
    EXPECT_EQ(view_.Take("close"), Texts(e.close ? 1 : 0, ""));
    // The run keeps a control focused; afterwards Convert has the focus.
    EXPECT_EQ(view_.Take("focus "), (Texts{"Command2", "Command1"}));
    EXPECT_EQ(p.Caption(Control::Command1) + p.Caption(Control::Command2), "変 換終 了");
    EXPECT_TRUE(p.Enabled(Control::Command1) && p.Enabled(Control::Command2) && p.Enabled(Control::Command3));
    EXPECT_EQ(dir_->Entries(), (Texts{"Kestrel-00000042.tmp", "Kestrel.ini", "ix1.log", "ix1.txt"}));
    EXPECT_EQ(p.TempCopyPath(),
              !e.message.empty() ? JoinPath(Path("tmp"), "Kestrel-00000042.tmp") : Path("Kestrel-00000043.tmp"));
  }
}

// The temporary copy goes beside the output, on the disk that takes the
// converted log, not beside the program; in the system's temporary folder
// when the output's folder takes no new file; its failure names it.
TEST_F(PresenterTest, TheTemporaryCopyGoesWhereTheRunNeedsIt) {
  for (const auto& [fails, error, copy, full] : {std::tuple{FaultyFileSystem::kNone, 0, "out", false},
                                                 {FaultyFileSystem::kOpen, EACCES, "tmp", false},
                                                 {FaultyFileSystem::kWrite, ENOSPC, "out", true}}) {
    FormPresenter& p = Open("[Kestrel]\nFileExt=.txt\n");
    for (const char* folder : {"out", "tmp"}) std::filesystem::create_directory(NativePath(Path(folder)));
    Write("out/ix1.log", NumberedLog(250));
    fs_.Fail(fails, fails == FaultyFileSystem::kOpen ? JoinPath("out", "Kestrel-") : "Kestrel-", error);
    p.Edited(Control::Text1, Path("out/ix1.log"));
    view_.notes.clear();
    p.Command1_Click();
    fs_ = FaultyFileSystem();
    EXPECT_EQ(p.TempCopyPath(), JoinPath(Path(copy), "Kestrel-00000042.tmp"));
    EXPECT_EQ(view_.Take("message "),
              full ? Texts{"変換できませんでした。\n一時コピー " + p.TempCopyPath() + ": " + Reason(ENOSPC)} : Texts{});
    EXPECT_EQ(FileExists(Path("out/ix1.txt")), !full);
  }
}

// The progress captions of a 250-line log, each as the run produces it when
// the clock moves on, and only those at each pass's edges when it stands.
TEST_F(PresenterTest, ProgressIsShownAtTheScreensPace) {
  for (const auto& [step, pumps, shown] :
       {std::tuple{50, 10,
                   Texts{"0 / 0", "0 / 100", "0 / 200", "0 / 250", "100 / 250", "200 / 250", "250 / 250", "変 換"}},
        {0, 4, Texts{"0 / 0", "0 / 250", "250 / 250", "変 換"}}}) {
    step_ = step;
    FormPresenter& p = Open("[Kestrel]\nFileExt=.txt\n");
    Write("ix1.log", NumberedLog(250));
    p.Edited(Control::Text1, Path("ix1.log"));
    view_.notes.clear();
    int pumped = 0;
    view_.onPump = [&] { ++pumped; };
    p.Command1_Click();
    EXPECT_EQ(view_.Take("caption Command1 "), shown);
    EXPECT_EQ(pumped, pumps);
  }
}

// An empty path only beeps, and puts the focus where the path is missing,
// the output path too with the overwrite option. Without an output
// extension, the output path made from the log's would name another file:
// Convert says so and puts the focus in the extension; one typed is taken.
TEST_F(PresenterTest, EmptyPathsBeep) {
  FormPresenter& p = Open("[Kestrel]\nOverWrite=TRUE\n");
  view_.notes.clear();
  p.Command1_Click();
  p.Edited(Control::Text1, Path("ix1.log"));
  p.Edited(Control::Text2, "");
  p.Command1_Click();
  EXPECT_EQ(view_.notes, (Texts{"beep", "focus Text1", "beep", "focus Text2"}));
  for (const char* ini : {"", "[Kestrel]\nFileExt=.\n"}) {
    FormPresenter& q = Open(ini);
    Write("ix1.log", "a\n"), Write("ix1", "another file");
    q.Edited(Control::Text1, Path("ix1.log"));
    view_.notes.clear();
    q.Command1_Click();
    EXPECT_EQ(view_.Take("message "), Texts{"変換できませんでした。\n出力拡張子が空なので、出力ファイルがログの名前から"
                                            "拡張子を除いた名前になり、同じ名前の別のファイルを上書きしてしまいます。\n"
                                            "先に「出力拡張子」を設定してください。"});
    EXPECT_EQ(view_.notes, (Texts{"beep", "focus Text3"}));
    EXPECT_EQ(ReadFile(Path("ix1")), "another file");
    q.Edited(Control::Text2, Path("ix1.out"));
    q.Command1_Click();
    EXPECT_EQ(ReadFile(Path("ix1.out")), "a\r\n");
  }
}

// A setting that cannot be saved is reported once, with the reason, and the
// option still applies while the window is open.
TEST_F(PresenterTest, SettingsThatCannotBeSavedAreReportedOnce) {
  FormPresenter& p = Open("", {}, true, [&] { Write("config", "a file where the folder should be"); });
  view_.notes.clear();
  p.Toggled(true);
  p.Toggled(false);
  EXPECT_EQ(view_.notes,
            (Texts{"beep", "message 設定を保存できませんでした。\n" + JoinPath(Path("config/Kestrel"), "Kestrel.ini") +
                               ": " + Reason(kWindows ? ENOENT : ENOTDIR)}));
  p.Toggled(true);
  p.Edited(Control::Text1, "/l/ix1.log");
  EXPECT_EQ(view_.shown[Control::Text2], "/l/ix1.log");
  // The settings folder is made through the file system given, as is all else.
  fs_.Fail(FaultyFileSystem::kMakeFolder, "config", EACCES);
  Open("", {}, true).Toggled(true);
  fs_ = FaultyFileSystem();
  EXPECT_EQ(view_.Take("message "), Texts{"設定を保存できませんでした。\n" +
                                          JoinPath(Path("config/Kestrel"), "Kestrel.ini") + ": " + Reason(EACCES)});
}

// Batch mode: each log in turn, one line per failure, the exit status; a
// batch nobody watches shows its failures in a box as well. Abort ends the
// log under way; closing the window, here while the first log's output is a
// pipe that nobody reads, ends the batch naming every log left.
TEST_F(PresenterTest, BatchesReportEachFailureAndExit) {
  for (const bool watched : {true, false}) {
    errorsSeen_ = watched;
    EXPECT_EQ(Open("[Kestrel]\nFileExt=.txt\n", {"a.log", "missing.log", "b.log"}, false,
                   [&] { Write("a.log", kRoute + "\n"), Write("b.log", kNext + "\n"); })
                  .BatchExitCode(),
              1);
    EXPECT_EQ(ReadFile(*dir_ / "a.txt") + ReadFile(*dir_ / "b.txt"), kRouteOut + "\r\n" + kNextOut + "\r\n");
    const std::string failure = Path("missing.log") + ": " + Reason(ENOENT);
    EXPECT_EQ(view_.Take("error "), Texts{"kestrel: " + failure});
    EXPECT_EQ(view_.Take("message "), watched ? Texts{} : Texts{"変換できなかったログがあります。\n" + failure});
    EXPECT_EQ(view_.Take("close"), Texts{""});
  }
  // A pattern that matched no file (Windows) fails the batch, even alone.
  EXPECT_EQ(Open("", {}, false, {}, {"*.none"}).BatchExitCode(), 1);
  EXPECT_EQ(view_.Take("message "), Texts{"変換できなかったログがあります。\n*.none: 該当するファイルがありません"});
  errorsSeen_ = true;
  // Without an output extension no log is written over the file named as it
  // without one; with one, a clean batch says nothing.
  EXPECT_EQ(Open("", {"a.log"}, false, [&] { Write("a.log", "a\n"), Write("a", "another file"); }).BatchExitCode(), 1);
  EXPECT_EQ(ReadFile(Path("a")), "another file");
  EXPECT_EQ(view_.Take("error "),
            Texts{"kestrel: " + Path("a.log") +
                  ": 出力拡張子が設定されていないので変換しませんでした（先に「出力拡張子」を設定してください）"});
  EXPECT_EQ(Open("[Kestrel]\nFileExt=.txt\n", {"a.log"}, false, [&] { Write("a.log", "a\n"); }).BatchExitCode(), 0);
  EXPECT_EQ(view_.Take("error "), Texts{});
  // Converted in place, but with the old log left beside it: a failure.
  fs_.Fail(FaultyFileSystem::kRemove, ".a.log.", EIO);
  EXPECT_EQ(Open("[Kestrel]\nOverWrite=TRUE\n", {"a.log"}, false, [&] { Write("a.log", "a\n"); }).BatchExitCode(), 1);
  const std::string old = Path(".a.log.kestrel-" + std::to_string(platform::ProcessId()) + "-0.tmp");
  EXPECT_EQ(view_.Take("error "),
            Texts{"kestrel: " + Path("a.log") + " は変換しましたが、元の内容を削除できませんでした: " + old + ": " +
                  Reason(EIO)});
  fs_ = FaultyFileSystem();
  for (const bool close : {false, true}) {
    const std::string c = kWindows ? "c" : "c\x1b";  // a name to escape where the system allows it
    FormPresenter& p = Open("[Kestrel]\nFileExt=.txt\n", {"a.log", "b.log", c + ".log"}, false, [&] {
      for (const std::string& log : Texts{"a.log", "b.log", c + ".log"}) Write(log, kRoute + "\n");
      if (!close)
        return Write("a.log", NumberedLog(250)), AtProgress("100 / 250", [&] { presenter_->Command2_Click(); });
      ASSERT_TRUE(MakeFifo(Path("a.txt")) || kWindows);
      view_.onPump = [&] {
        if (now_ > 500) presenter_->CloseRequested();
      };
    });
    if (kWindows && close) continue;  // no named pipes
    EXPECT_EQ(p.BatchExitCode(), 1);
    EXPECT_EQ(FileExists(Path(c + ".txt")), !close);
    Texts errors = {"kestrel: " + Path("a.log") + ": 変換を中断しました"};
    for (const std::string& log : {std::string("b.log"), PrintableName(c) + ".log"})
      if (close) errors.push_back("kestrel: " + Path(log) + ": ウィンドウが閉じられたので変換しませんでした");
    EXPECT_EQ(view_.Take("error "), errors);
  }
}

// A stop signal ends a batch once the run has cleaned up, leaving the logs
// after it; one that comes once the last log is converted changes nothing.
// Idle, the window ends on one.
TEST_F(PresenterTest, StopSignalsEndBatchesWithTheTruth) {
  if (kWindows) GTEST_SKIP() << "POSIX signals";
  for (const char* when : {"100 / 250", "250 / 250"}) {
    platform::CatchStopSignals();
    const bool early = when[0] == '1';
    FormPresenter& p =
        Open("[Kestrel]\nOverWrite=TRUE\n", early ? Texts{"a.log", "b.log"} : Texts{"a.log"}, false, [&] {
          Write("a.log", NumberedLog(250)), Write("b.log", "b\n");
          AtProgress(when, [] { std::raise(SIGTERM); });
        });
    EXPECT_EQ(p.BatchExitCode(), early ? 128 + SIGTERM : 0);
    EXPECT_EQ(ReadFile(Path("a.log")) + ReadFile(Path("b.log")), NumberedLog(250, early ? "\n" : "\r\n") + "b\n");
    EXPECT_EQ(p.StopWhileIdle(), std::optional<int>(128 + SIGTERM));
  }
  platform::RestoreStopSignals();
}

// The form's layout rules: twips to pixels at any density, and the largest
// face in which a caption fits.
TEST(FormLayoutTest, PixelsAndFaces) {
  EXPECT_EQ(TwipsToPixels(kFormWidth, 96), 313);
  EXPECT_EQ(TwipsToPixels(1215, 144), 122);
  EXPECT_EQ(TwipsToPixels(kFormHeight, 144), 194);
  auto width = [](double points) { return static_cast<int>(points * 10); };
  EXPECT_EQ(FittingPoints(9, 95, width), 9);
  EXPECT_EQ(FittingPoints(9, 64, width), 6);
  EXPECT_EQ(FittingPoints(9, 10, width), 4);
  EXPECT_EQ(FittingPoints(9, 10, width, 7), 7);
  // A caption never below two points under its face; a count too wide even
  // then loses its blanks.
  auto wide = [](const std::string& text, double points) { return static_cast<int>(text.size() * points); };
  for (const auto& [room, text, points] : {std::tuple{171, "99999999 / 99999999", 9.0},
                                           {140, "99999999 / 99999999", 7.0},
                                           {130, "99999999/99999999", 7.5},
                                           {100, "99999999/99999999", 7.0}}) {
    const FittedCaption fitted = FitCaption("99999999 / 99999999", 9, room, wide);
    EXPECT_EQ(fitted.text + " " + std::to_string(fitted.points), text + (" " + std::to_string(points)));
  }
  EXPECT_EQ(&FormControlOf(Control::Command2), &kFormControls[10]);
}

}  // namespace
}  // namespace kestrel
