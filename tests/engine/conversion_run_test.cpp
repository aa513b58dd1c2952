#include "conversion_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "faulty_file_system.h"
#include "fixtures.h"
#include "platform.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace std::string_literals;
using namespace test;
using Fs = FaultyFileSystem;
using Texts = std::vector<std::string>;
namespace stdfs = std::filesystem;

// Both ways of running a conversion, each test run with each.
enum class Way { TwoPasses, SinglePass };

class RunTest : public ::testing::TestWithParam<Way> {
 public:
  // Converts `input` into `output`, the temporary copy in the scratch
  // folder's "tmp", recording the progress texts of every report.
  RunResult Convert(const std::string& input, const std::string& output,
                    const std::function<void(ConversionRun&, const Progress&)>& onProgress = {}) {
    const RunRequest request{.inputPath = input,
                             .inputFile = inputFile_,
                             .outputPath = output,
                             .tempDir = tempDir_,
                             .tempNumber = 0x2A,
                             .maxLineLength = maxLine_};
    ConversionRun run(rewriter_, fs_);
    run.SetInterruptFlag(&signal_);
    texts_.clear();
    auto hook = [&](const Progress& p) {
      if (!p.heartbeat) texts_.push_back(std::to_string(p.pass) + ": " + p.Text());
      if (onProgress) onProgress(run, p);
    };
    return TwoPasses() ? run.Execute(request, hook) : run.ExecuteSinglePass(request, hook);
  }
  bool TwoPasses() const { return GetParam() == Way::TwoPasses; }

  void SetUp() override { ASSERT_TRUE(stdfs::create_directory(NativePath(tempDir_))); }
  void TearDown() override {
    // However a run ends, it leaves no file open, and its temporary copy is gone.
    EXPECT_EQ(OpenFiles(), openFiles_);
    EXPECT_EQ(dir_.Entries("tmp"), Texts{}) << "the temporary copy was left";
  }

  ScratchDir dir_;
  std::string tempDir_ = dir_ / "tmp";
  std::string in_ = dir_ / "ix1.log";
  std::string out_ = dir_ / "ix1.txt";
  LineRewriter rewriter_;
  Fs fs_;
  std::atomic<int> signal_ = 0;
  std::uint64_t maxLine_ = kMaxLineLength;
  FileHandle inputFile_ = kNoFile;  // an input handed to the run instead
  Texts texts_;
  const int openFiles_ = OpenFiles();
};

INSTANTIATE_TEST_SUITE_P(Ways, RunTest, ::testing::Values(Way::TwoPasses, Way::SinglePass),
                         [](const auto& info) { return info.param == Way::TwoPasses ? "TwoPasses" : "SinglePass"; });

TEST_P(RunTest, EveryLineEndsWithCrLfAndRoutesAreRewritten) {
  const std::string longLine(2 * kBlockSize + 17, 'x');
  const std::string longRoute = "a" + std::string(kBlockSize, ' ') + "[1/0] via 1.1.1.1, Giga0, t";
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\rb\rc\r", "abc\r\n"},  // a lone CR is dropped
      {"a\nb", "a\r\nb\r\n"},
      {"a\n\r", "a\r\n"},  // a lone CR after the last LF writes nothing
      {"\n\r\n\n", "\r\n\r\n\r\n"},
      {"\0\xff\x82\xa0\n\x1a"s, "\0\xff\x82\xa0\r\n\x1a\r\n"s},
      {longLine + "\n" + longRoute + "\r\n",
       longLine + "\r\n" + "a" + std::string(kBlockSize, ' ') + "[1/0] via 1.1.1.1, t, Giga0\r\n"},
      {kRoutes, kRoutesOut},
  };
  for (const MarkStep step : kMarkSteps) {
    if (!ForceMarkStep(step)) continue;
    SCOPED_TRACE("marking way " + std::to_string(static_cast<int>(step)));
    for (const auto& [log, converted] : cases) {
      WriteFile(in_, log);
      const RunResult result = Convert(in_, out_);
      ASSERT_EQ(result.status, RunStatus::Finished) << result.error;
      EXPECT_EQ(ReadFile(out_), converted) << log.substr(0, 40);
    }
  }
  // The route head carries over to the next log, here converted in place
  // under a name of 250 bytes, ending in characters of three bytes where the
  // replacement's name is cut, in a path beyond the 260 characters of Windows.
  std::string name(166, 'n');
  for (int i = 0; i < 28; ++i) name += "\u8868";
  WriteFile(dir_ / name, kNext + "\n");
  ASSERT_EQ(Convert(dir_ / name, dir_ / name).status, RunStatus::Finished);
  EXPECT_EQ(ReadFile(dir_ / name), kNextOut + "\r\n");
}

// How a run ends, and what it leaves: the progress it showed, the output
// file and the log. The temporary copy is private, and one a crashed run
// left keeps its name.
TEST_P(RunTest, StopsLeaveWhatTheyPromise) {
  const std::string log = NumberedLog(250);
  const std::string taken = JoinPath(tempDir_, TempFileName(0x2A)), copy = JoinPath(tempDir_, TempFileName(0x2B));
  WriteFile(taken, "left by a crashed run");
  struct Stop {
    const char* name;
    int pass;  // the pass it comes in
    bool inPlace;
    bool signal;  // a stop signal instead of Abort
    RunStatus status;
    Texts twoPassTexts;        // captions of the two-pass run
    std::string output;        // the output file afterwards, or the log in place
    bool outputIsNew = false;  // no output file before the run, and so none after an abort before writing
  };
  // A table: its rows stay as written.
  // clang-format off
  const Stop stops[] = {
      {"finished", 0, false, false, RunStatus::Finished,
       {"1: 0 / 0", "1: 0 / 100", "1: 0 / 200", "1: 0 / 250", "2: 0 / 250", "2: 100 / 250", "2: 200 / 250",
        "2: 250 / 250"},
       NumberedLog(250, "\r\n")},
      {"abort copying", 1, false, false, RunStatus::Aborted, {"1: 0 / 0", "1: 0 / 100", "1: 0 / 100"}, "old\r\n"},
      {"abort copying, new output", 1, false, false, RunStatus::Aborted, {"1: 0 / 0", "1: 0 / 100", "1: 0 / 100"}, "",
       true},
      {"abort writing", 2, false, false, RunStatus::Aborted,
       {"1: 0 / 0", "1: 0 / 100", "1: 0 / 200", "1: 0 / 250", "2: 0 / 250", "2: 100 / 250", "2: 100 / 250"},
       NumberedLog(100, "\r\n")},
      {"abort in place", 2, true, false, RunStatus::Aborted, {}, log},
      {"signal in place", 2, true, true, RunStatus::Interrupted, {}, log},
  };
  // clang-format on
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.name);
    if (stop.pass == 1 && !TwoPasses()) continue;
    WriteFile(in_, log);
    if (stop.outputIsNew)
      stdfs::remove(NativePath(out_));
    else
      WriteFile(out_, "old\r\n");
    signal_ = 0;
    const std::string output = stop.inPlace ? in_ : out_;
    stdfs::perms mode = stdfs::perms::unknown;
    const RunResult result = Convert(in_, output, [&](ConversionRun& run, const Progress& p) {
      std::error_code error;
      if (mode == stdfs::perms::unknown) mode = stdfs::status(NativePath(copy), error).permissions();
      if (p.pass != stop.pass || (p.pass == 1 ? p.total : p.done) != 100) return;
      if (stop.signal)
        signal_ = SIGTERM;
      else
        run.Abort();
    });
    EXPECT_EQ(result.status, stop.status);
    EXPECT_EQ(stop.outputIsNew ? "" : ReadFile(output), stop.output);
    if (TwoPasses() && !stop.twoPassTexts.empty()) {
      EXPECT_EQ(texts_, stop.twoPassTexts);
    }
    if (TwoPasses() && !kWindows) {
      EXPECT_EQ(mode, stdfs::perms(0600));  // Windows: the private temporary folder's permissions
    }
    EXPECT_EQ(result.tempPath, TwoPasses() ? copy : "");
    const Texts entries = stop.outputIsNew ? Texts{"ix1.log", "tmp"} : Texts{"ix1.log", "ix1.txt", "tmp"};
    EXPECT_EQ(dir_.Entries(), entries) << "a replacement or an empty output was left";
  }
  EXPECT_EQ(ReadFile(taken), "left by a crashed run");
  stdfs::remove(NativePath(taken));
}

TEST_P(RunTest, InPlaceKeepsModeAttributesAndFollowsNamedLinks) {
  if (kWindows) GTEST_SKIP() << "POSIX permissions and symbolic links";
  const std::string link = dir_ / "link.log";
  stdfs::create_symlink(in_, link);
  // The folder gives new files an access control list (the daemon user may
  // read them) that the log does not have, nor must its replacement.
  const std::string acl =
      "\x02\0\0\0\x01\0\x06\0\xff\xff\xff\xff\x02\0\x06\0\x01\0\0\0\x04\0\x04\0\xff\xff\xff\xff"
      "\x10\0\x06\0\xff\xff\xff\xff\x20\0\x04\0\xff\xff\xff\xff"s;
  for (const std::string& output : {in_, dir_ / "./ix1.log", link}) {
    SCOPED_TRACE(output);
    WriteFile(in_, kRoutes);
    stdfs::permissions(in_, stdfs::perms(02750));
    const bool xattrs = SetAttribute(in_, "user.kestrel", "1");
    const bool acls = SetAttribute(dir_.Path(), "system.posix_acl_default", acl);
    ASSERT_EQ(Convert(in_, output).status, RunStatus::Finished);
    EXPECT_EQ(ReadFile(in_), kRoutesOut);
    EXPECT_EQ(stdfs::symlink_status(in_).permissions(), stdfs::perms(02750));
    if (xattrs) {
      EXPECT_EQ(Attribute(in_, "user.kestrel"), "1");
    }
    if (acls) {
      EXPECT_EQ(Attribute(in_, "system.posix_acl_access"), "");
    }
    EXPECT_EQ(dir_.Entries(), (Texts{"ix1.log", "link.log", "tmp"}));
  }
}

struct Failure {
  const char* name;
  Fs::Operation operation;
  const char* part;  // of the path the fault hits
  int error;
  const char* input;    // in the scratch folder, or an absolute path
  const char* output;   // likewise
  std::string message;  // DIR: the scratch folder, LOG: DIR/ix1.log, OUT: DIR/ix1.txt, TEMP: the copy,
                        // KEPT: the replacement, left with the converted log
};

// Every failure ends the run with one message naming the file and the
// reason, leaves the log as it was and no temporary file behind.
TEST_P(RunTest, FailuresNameTheFileAndLeaveTheLog) {
  const Failure failures[] = {
      {"missing input", Fs::kNone, "", 0, "none.log", "ix1.txt", "DIR/none.log: No such file or directory"},
      {"input is a folder", Fs::kNone, "", 0, "tmp", "ix1.txt", "DIR/tmp: Is a directory"},
      {"no output folder", Fs::kNone, "", 0, "ix1.log", "no/x.txt", "DIR/no/x.txt: No such file or directory"},
      {"output denied", Fs::kOpen, "ix1.txt", EACCES, "ix1.log", "ix1.txt", "OUT: Permission denied"},
      {"device full", Fs::kNone, "", 0, "ix1.log", "/dev/full", "/dev/full: No space left on device"},
      {"read error", Fs::kRead, "ix1.log", EIO, "ix1.log", "ix1.txt", "LOG: Input/output error"},
      {"disk full copying", Fs::kWrite, "Kestrel-", ENOSPC, "ix1.log", "ix1.txt",
       "temporary copy TEMP: No space left on device"},
      {"disk full writing", Fs::kWrite, "ix1.txt", ENOSPC, "ix1.log", "ix1.txt", "OUT: No space left on device"},
      {"nothing written", Fs::kWrite, "ix1.txt", 0, "ix1.log", "ix1.txt", "OUT: No space left on device"},
      {"output not emptied", Fs::kTruncate, "ix1.txt", EIO, "ix1.log", "ix1.txt", "OUT: Input/output error"},
      {"close fails", Fs::kClose, "ix1.txt", EIO, "ix1.log", "ix1.txt", "OUT: Input/output error"},
      {"temp folder denied", Fs::kOpen, "Kestrel-", EACCES, "ix1.log", "ix1.txt",
       "temporary copy TEMP: Permission denied"},
      {"temp not deleted", Fs::kRemove, "Kestrel-", EACCES, "ix1.log", "ix1.txt",
       "LOG converted; the temporary copy TEMP could not be deleted: Permission denied"},
      {"output unknown", Fs::kInfo, "ix1.log", EIO, "ix1.log", "ix1.log", "LOG: Input/output error"},
      {"in place, disk full", Fs::kWrite, ".ix1.log.", ENOSPC, "ix1.log", "ix1.log", "LOG: No space left on device"},
      {"in place, flush fails", Fs::kFlush, ".ix1.log.", EIO, "ix1.log", "ix1.log", "LOG: Input/output error"},
      {"in place, close fails", Fs::kClose, ".ix1.log.", EIO, "ix1.log", "ix1.log", "LOG: Input/output error"},
      {"in place, log held open", Fs::kReplace, "ix1.log", kErrorInUse, "ix1.log", "ix1.log",
       "LOG: in use by another program"},
      {"in place, replaced halfway", Fs::kReplace, "ix1.log", kErrorHalfReplaced, "ix1.log", "ix1.log",
       "LOG could not be put in place; the converted log is KEPT"},
      {"in place, old log not removed", Fs::kRemove, ".ix1.log.", EIO, "ix1.log", "ix1.log",
       "LOG converted; its old contents could not be removed: KEPT: Input/output error"},
      {"in place, folder not flushed", Fs::kFlushFolder, "", EIO, "ix1.log", "ix1.log",
       "LOG converted, but its folder DIR could not be flushed to disk: Input/output error"},
      {"in place, owner not kept", Fs::kOwnership, "ix1.log", EPERM, "ix1.log", "ix1.log",
       "LOG: cannot be replaced keeping its owner and group (Operation not permitted)"},
      {"in place, folder denied", Fs::kOpen, ".ix1.log.", EACCES, "ix1.log", "ix1.log",
       "LOG: cannot be replaced: its folder DIR cannot be written (Permission denied)"},
      {"in place, no room for the copy", Fs::kOpen, ".ix1.log.", ENOSPC, "ix1.log", "ix1.log",
       "LOG: No space left on device"},
      {"line too long", Fs::kNone, "", 0, "ix1.log", "ix1.txt", "LOG: a line is longer than 100 bytes"},
      {"endless line", Fs::kNone, "", 0, "/dev/zero", "ix1.txt", "/dev/zero: a line is longer than 100 bytes"},
  };
  // Converted, the log stays as it is: a run that fails after replacing it
  // may do so. Its longest line, of exactly the longest length accepted,
  // straddles two blocks.
  std::string log;
  while (log.size() + 100 < kBlockSize) log += std::string(48, 'f') + "\r\n";
  log += std::string(100, 'x') + "\r\n" + NumberedLog(250, "\r\n");
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.name);
    if (f.part == std::string("Kestrel-") && !TwoPasses()) continue;      // a single pass makes no copy
    if (kWindows && (f.input[0] == '/' || f.output[0] == '/')) continue;  // devices of POSIX systems
    WriteFile(in_, f.name == std::string("line too long") ? log + std::string(101, 'z') + "\n" : log);
    fs_ = Fs();
    fs_.Fail(f.operation, f.part, f.error, 100);
    maxLine_ = 100;
    auto path = [&](const std::string& name) { return name[0] == '/' ? name : dir_ / name; };
    const RunResult result = Convert(path(f.input), path(f.output));
    const std::string temp = JoinPath(tempDir_, TempFileName(0x2A));
    const std::string kept =
        JoinPath(dir_.Path(), ".ix1.log.kestrel-" + std::to_string(platform::ProcessId()) + "-0.tmp");
    std::string message = f.message;
    for (const auto& [name, value] :
         {std::pair{"TEMP", temp}, {"KEPT", kept}, {"LOG", in_}, {"OUT", out_}, {"DIR", dir_.Path()}})
      for (std::size_t at = 0; (at = message.find(name, at)) != std::string::npos; at += value.size())
        message.replace(at, strlen(name), value);
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_EQ(result.error, message);
    EXPECT_EQ(ReadFile(in_).substr(0, log.size()), log) << "the log was touched";
    // The copy named is kept; Windows' own replacement leaves no old log to keep.
    if (f.message.find("KEPT") != std::string::npos && (f.error == kErrorHalfReplaced || !kWindows)) {
      EXPECT_EQ(ReadFile(kept), log);
    }
    stdfs::remove(NativePath(kept));
    stdfs::remove(NativePath(temp));
    stdfs::remove(NativePath(out_));
    EXPECT_EQ(dir_.Entries(), (Texts{"ix1.log", "tmp"}));
  }
  // A program holding the log open without letting it go is refused before
  // the replacement, and nothing is left beside the log.
  const int held = HoldOpen(in_);
  if (held < 0) return;
  maxLine_ = kMaxLineLength;
  EXPECT_EQ(Convert(in_, in_).error, in_ + ": in use by another program");
  Release(held);
  EXPECT_EQ(dir_.Entries(), (Texts{"ix1.log", "tmp"}));
}

// Whatever another program does with the files during the run, the run
// writes only where it meant to, and nothing is lost: a link or a newer log
// put in the log's place stays there, and the output's folder swapped for a
// link to another keeps the output. Lines appended to the log once it was
// read, just before its replacement, stay in it. A failure thrown on the
// thread that reads ahead ends the run, not the program.
TEST_P(RunTest, ChangesDuringTheRunRedirectNothing) {
  if (kWindows) GTEST_SKIP() << "symbolic links, and renaming what a run holds open";
  const std::string logs = dir_ / "logs", log = logs + "/ix1.log", saved = dir_ / "saved", victim = dir_ / "victim";
  const std::string changed = log + ": changed by another program during the conversion; left as it is";
  auto swapFolder = [&] { stdfs::rename(logs, saved), stdfs::create_directory_symlink(victim, logs); };
  const struct {
    std::string output;
    std::function<void()> change;  // at the log's first read
    std::string error, where, holds;
    bool atReplacement = false;  // the change comes as the replacement is flushed instead
  } changes[] = {
      {log, [&] { stdfs::rename(log, saved), stdfs::create_symlink(victim + "/x", log); }, changed, saved,
       NumberedLog(250)},
      {log, [&] { WriteFile(saved, "newer\n"), stdfs::rename(saved, log); }, changed, log, "newer\n"},
      {logs + "/ix1.txt", swapFolder, "", saved + "/ix1.txt", NumberedLog(250, "\r\n")},
      {log, swapFolder, "", saved + "/ix1.log", NumberedLog(250, "\r\n")},
      {log, [&] { throw IoError(log, EIO); }, log + ": Input/output error", log, NumberedLog(250)},
      {log, [&] { std::ofstream(NativePath(log), std::ios::app) << "line 250\n"; }, changed, log, NumberedLog(251),
       true},
  };
  stdfs::create_directory(victim);
  for (const auto& c : changes) {
    SCOPED_TRACE(c.where + " " + c.error);
    stdfs::remove_all(logs), stdfs::remove_all(saved), stdfs::create_directory(logs);
    WriteFile(log, NumberedLog(250));
    bool once = false;
    fs_ = Fs();
    const auto change = [&] { once = once || (c.change(), true); };
    c.atReplacement ? fs_.OnFlush("ix1.log", change) : fs_.OnRead("ix1.log", change);
    EXPECT_EQ(Convert(log, c.output).error, c.error);
    EXPECT_EQ(ReadFile(c.where), c.holds);
    EXPECT_EQ(dir_.Entries("victim"), Texts{});
    for (const char* folder : {"logs", "saved"}) {  // no replacement left
      if (!stdfs::is_directory(dir_ / folder)) continue;
      for (const std::string& name : dir_.Entries(folder)) EXPECT_NE(name[0], '.') << name;
    }
  }
}

TEST_P(RunTest, AbortReadsNothingMoreAndWritesNoPartOfALine) {
  // An endless device and pipes nobody writes to, a named one and one handed
  // to the run as standard input is: the abort must not wait for the rest of
  // the input, which never comes. An abort at a block's end
  // inside a line writes nothing of that line.
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(MakeFifo(fifo), !kWindows);
  const FileHandle pipe = QuietPipe();
  WriteFile(in_, "a, Giga0, t\n" + std::string(kBlockSize + 10, 'y') + "\n");
  for (const std::string& input : {std::string("/dev/zero"), fifo, std::string("pipe"), in_}) {
    SCOPED_TRACE(input);
    inputFile_ = input == "pipe" ? pipe : kNoFile;
    if ((kWindows && input != in_ && input != "pipe") || (input == "pipe" && pipe == kNoFile)) continue;
    std::atomic<int> readsAfterAbort = -1;  // counted on the thread that reads ahead
    int beats = 0;
    fs_.OnRead("", [&] { readsAfterAbort += readsAfterAbort >= 0; });
    const RunResult result = Convert(input, out_, [&](ConversionRun& run, const Progress& p) {
      // The log: at the second block, inside the long line, in the pass that writes.
      if (p.heartbeat && (input != in_ || p.pass == 2) && ++beats == (input == in_ ? 2 : 1)) {
        run.Abort();
        readsAfterAbort = 0;
      }
    });
    EXPECT_EQ(result.status, RunStatus::Aborted);
    EXPECT_LE(readsAfterAbort, input == in_ ? 1 : 0);  // a file's next block may be on its way already
    EXPECT_EQ(FileExists(out_) ? ReadFile(out_) : "", input == in_ ? "a, t, Giga0\r\n" : "");
  }
  CloseQuietPipe(pipe);
}

}  // namespace
}  // namespace kestrel
