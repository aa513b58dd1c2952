#include "conversion_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "faulty_file_system.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace std::string_literals;
using test::FileExists;
using test::Lines;
using test::ReadFile;
using test::WriteFile;

const std::string kRoute = "O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, 0:01:02";
const std::string kRouteOut = "O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0";
const std::string kNext = std::string(28, ' ') + "via 192.168.0.2, GigaEthernet1.0, 0:01:02";
const std::string kNextOut = std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0";

// A log of `count` numbered lines, each ended with `end`.
std::string NumberedLog(int count, const std::string& end = "\n") {
  std::string log;
  for (int i = 0; i < count; ++i) log += "line " + std::to_string(i) + end;
  return log;
}

class ConversionRunTest : public ::testing::Test {
 public:
  // Runs one conversion of `input` into `output` with the temporary copy in
  // the scratch directory's "tmp" folder, recording every progress report.
  RunResult Convert(const std::string& input, const std::string& output,
                    const std::function<void(ConversionRun&, const Progress&)>& onProgress = {}) {
    RunRequest request;
    request.inputPath = input;
    request.outputPath = output;
    request.tempDir = tempDir_;
    request.tempNumber = 0x2A;
    ConversionRun run(rewriter_, fs_);
    reports_.clear();
    return run.Execute(request, [&](const Progress& p) {
      if (!p.heartbeat) reports_.push_back(p);
      if (onProgress) onProgress(run, p);
    });
  }

  std::vector<std::string> Texts(int pass) const {
    std::vector<std::string> texts;
    for (const auto& p : reports_)
      if (p.pass == pass) texts.push_back(p.Text());
    return texts;
  }

  void SetUp() override { ASSERT_EQ(::mkdir(tempDir_.c_str(), 0700), 0); }
  void TearDown() override {
    // However a run ends, its temporary copy is gone.
    EXPECT_EQ(::rmdir(tempDir_.c_str()), 0) << "the temporary folder is not empty";
  }

  test::ScratchDir dir_;
  std::string tempDir_ = dir_ / "tmp";
  std::string in_ = dir_ / "ix1.log";
  std::string out_ = dir_ / "ix1.txt";
  LineRewriter rewriter_;
  test::FaultyFileSystem fs_;
  std::vector<Progress> reports_;
};

struct LineEndCase {
  const char* name;
  std::string in;
  std::string out;
  std::uint64_t total;
};

void PrintTo(const LineEndCase& c, std::ostream* os) { *os << c.name; }

class LineEndTest : public ConversionRunTest, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(LineEndTest, EveryLineEndsWithCrLf) {
  const LineEndCase& c = GetParam();
  WriteFile(in_, c.in);
  const RunResult result = Convert(in_, out_);
  ASSERT_EQ(result.status, RunStatus::Finished) << result.error;
  EXPECT_EQ(ReadFile(out_), c.out);
  EXPECT_EQ(result.total, c.total);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, LineEndTest,
    ::testing::Values(LineEndCase{"Empty", "", "", 0}, LineEndCase{"Lf", "a\nb\n", "a\r\nb\r\n", 2},
                      LineEndCase{"CrLf", "a\r\nb\r\n", "a\r\nb\r\n", 2},
                      LineEndCase{"LoneCrIsDropped", "a\rb\rc\r", "abc\r\n", 1},
                      LineEndCase{"MissingLastLineEnd", "a\nb", "a\r\nb\r\n", 2},
                      LineEndCase{"BlankLines", "\n\r\n\n", "\r\n\r\n\r\n", 3},
                      LineEndCase{"BinaryBytes", "\0\xff\x82\xa0\n\x1a"s, "\0\xff\x82\xa0\r\n\x1a\r\n"s, 2},
                      LineEndCase{"RoutesAreRewritten", Lines({kRoute, kNext}, "\n"), Lines({kRouteOut, kNextOut}), 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionRunTest, LinesLongerThanABlockPassWhole) {
  const std::string longLine(3 * kBlockSize + 17, 'x');
  const std::string route = "a" + std::string(kBlockSize, ' ') + "[1/0] via 1.1.1.1, Giga0, t";
  WriteFile(in_, longLine + "\n" + route + "\r\n");
  ASSERT_EQ(Convert(in_, out_).status, RunStatus::Finished);
  EXPECT_EQ(ReadFile(out_), longLine + "\r\n" + "a" + std::string(kBlockSize, ' ') + "[1/0] via 1.1.1.1, t, Giga0\r\n");
}

TEST_F(ConversionRunTest, RouteHeadCarriesOverToTheNextFile) {
  WriteFile(in_, kRoute + "\n");
  ASSERT_EQ(Convert(in_, out_).status, RunStatus::Finished);
  const std::string second = dir_ / "ix2.log";
  WriteFile(second, kNext + "\n");
  ASSERT_EQ(Convert(second, out_).status, RunStatus::Finished);
  EXPECT_EQ(ReadFile(out_), kNextOut + "\r\n");
}

TEST_F(ConversionRunTest, ProgressEveryHundredLines) {
  WriteFile(in_, NumberedLog(250));
  ASSERT_EQ(Convert(in_, out_).status, RunStatus::Finished);
  EXPECT_EQ(Texts(1), (std::vector<std::string>{"0 / 0", "0 / 100", "0 / 200", "0 / 250"}));
  EXPECT_EQ(Texts(2), (std::vector<std::string>{"0 / 250", "100 / 250", "200 / 250", "250 / 250"}));
  std::vector<bool> pumps;
  for (const auto& p : reports_) pumps.push_back(p.blockEnd);
  EXPECT_EQ(pumps, (std::vector<bool>{false, true, true, false, false, true, true, false}));
}

TEST_F(ConversionRunTest, AbortInFirstPassLeavesOutputUntouched) {
  WriteFile(in_, NumberedLog(250));
  WriteFile(out_, "previous conversion\r\n");
  const RunResult result = Convert(in_, out_, [](ConversionRun& run, const Progress& p) {
    if (p.pass == 1 && p.total == 100) run.Abort();
  });
  EXPECT_EQ(result.status, RunStatus::Aborted);
  EXPECT_EQ(ReadFile(out_), "previous conversion\r\n");
  EXPECT_EQ(Texts(1), (std::vector<std::string>{"0 / 0", "0 / 100", "0 / 100"}));
  EXPECT_TRUE(Texts(2).empty());
}

TEST_F(ConversionRunTest, AbortInSecondPassLeavesTheLinesDoneSoFar) {
  WriteFile(in_, NumberedLog(250));
  const RunResult result = Convert(in_, out_, [](ConversionRun& run, const Progress& p) {
    if (p.pass == 2 && p.done == 100) run.Abort();
  });
  EXPECT_EQ(result.status, RunStatus::Aborted);
  EXPECT_EQ(ReadFile(out_), NumberedLog(100, "\r\n"));
  EXPECT_EQ(Texts(2), (std::vector<std::string>{"0 / 250", "100 / 250", "100 / 250"}));
}

TEST_F(ConversionRunTest, InPlaceRunReplacesTheLogKeepingItsMode) {
  WriteFile(in_, Lines({kRoute, kNext}, "\n"));
  ASSERT_EQ(::chmod(in_.c_str(), 0640), 0);
  const std::string link = dir_ / "link.log";
  ASSERT_EQ(::symlink(in_.c_str(), link.c_str()), 0);
  for (const std::string& output : {in_, dir_ / "./ix1.log", link}) {
    SCOPED_TRACE(output);
    WriteFile(in_, Lines({kRoute, kNext}, "\n"));
    ASSERT_EQ(Convert(in_, output).status, RunStatus::Finished);
    EXPECT_EQ(ReadFile(in_), Lines({kRouteOut, kNextOut}));
    struct stat info{};
    ASSERT_EQ(::lstat(in_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"ix1.log", "link.log", "tmp"}));
  }
}

TEST_F(ConversionRunTest, InPlaceAbortOrFailureLeavesTheLogAsItWas) {
  const std::string log = NumberedLog(250, "\n");
  WriteFile(in_, log);
  EXPECT_EQ(Convert(in_, in_, [](ConversionRun& run, const Progress& p) {
              if (p.pass == 2 && p.done == 100) run.Abort();
            }).status,
            RunStatus::Aborted);
  EXPECT_EQ(ReadFile(in_), log);

  fs_.FailWrite(".ix1.log.kestrel-", ENOSPC, 1000);
  const RunResult failed = Convert(in_, in_);
  EXPECT_EQ(failed.status, RunStatus::Failed);
  EXPECT_EQ(failed.error, in_ + ": No space left on device");
  EXPECT_EQ(ReadFile(in_), log);
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"ix1.log", "tmp"}));
}

struct FailureCase {
  const char* name;
  std::function<void(ConversionRunTest&, test::FaultyFileSystem&)> arrange;
  std::string input;   // name in the scratch directory, or an absolute path
  std::string output;
  std::string file;    // the file the error must name
  std::string reason;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailureTest : public ConversionRunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, FailsNamingTheFileAndReason) {
  const FailureCase& c = GetParam();
  WriteFile(in_, NumberedLog(250));
  WriteFile(out_, "previous conversion\r\n");
  auto path = [&](const std::string& name) { return name.empty() || name[0] == '/' ? name : dir_ / name; };
  if (c.arrange) c.arrange(*this, fs_);
  const RunResult result = Convert(path(c.input), path(c.output));
  EXPECT_EQ(result.status, RunStatus::Failed);
  const std::string file = c.file == "temp" ? tempDir_ + "/" + TempFileName(0x2A) : path(c.file);
  EXPECT_EQ(result.error, file + ": " + c.reason);
  EXPECT_EQ(ReadFile(in_), NumberedLog(250)) << "the log was touched";
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FailureTest,
    ::testing::Values(
        FailureCase{"MissingInput", {}, "none.log", "ix1.txt", "none.log", "No such file or directory"},
        FailureCase{"InputIsADirectory", {}, "tmp", "ix1.txt", "tmp", "Is a directory"},
        FailureCase{"OutputInMissingDirectory", {}, "ix1.log", "no/ix1.txt", "no/ix1.txt", "No such file or directory"},
        FailureCase{"OutputDirectoryReadOnly",
                    [](ConversionRunTest&, test::FaultyFileSystem& fs) { fs.FailOpen("ix1.txt", EACCES); }, "ix1.log",
                    "ix1.txt", "ix1.txt", "Permission denied"},
        FailureCase{"OutputDeviceFull", {}, "ix1.log", "/dev/full", "/dev/full", "No space left on device"},
        FailureCase{"ReadError", [](ConversionRunTest&, test::FaultyFileSystem& fs) { fs.FailRead("ix1.log", EIO); },
                    "ix1.log", "ix1.txt", "ix1.log", "Input/output error"},
        FailureCase{"DiskFullInFirstPass",
                    [](ConversionRunTest&, test::FaultyFileSystem& fs) { fs.FailWrite(".tmp", ENOSPC, 100); },
                    "ix1.log", "ix1.txt", "temp", "No space left on device"},
        FailureCase{"DiskFullInSecondPass",
                    [](ConversionRunTest&, test::FaultyFileSystem& fs) { fs.FailWrite("ix1.txt", ENOSPC, 100); },
                    "ix1.log", "ix1.txt", "ix1.txt", "No space left on device"},
        FailureCase{"TemporaryDirectoryNotWritable",
                    [](ConversionRunTest&, test::FaultyFileSystem& fs) { fs.FailOpen("Kestrel-", EACCES); },
                    "ix1.log", "ix1.txt", "temp", "Permission denied"},
        FailureCase{"OutputRemovedDuringTheRun",
                    [](ConversionRunTest& t, test::FaultyFileSystem& fs) {
                      fs.OnWrite("ix1.txt", [out = t.out_] { ::unlink(out.c_str()); });
                    },
                    "ix1.log", "ix1.txt", "ix1.txt", "the file was removed during the conversion"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionRunTest, LogRemovedDuringTheRunStillConverts) {
  WriteFile(in_, NumberedLog(250));
  fs_.OnRead("ix1.log", [this] { ::unlink(in_.c_str()); });
  ASSERT_EQ(Convert(in_, out_).status, RunStatus::Finished);
  EXPECT_EQ(ReadFile(out_), NumberedLog(250, "\r\n"));
}

TEST_F(ConversionRunTest, AbortReadsNothingMore) {
  // An endless device and a pipe nobody writes to: the abort must not wait
  // for the rest of the input, which never comes.
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& input : {std::string("/dev/zero"), fifo}) {
    SCOPED_TRACE(input);
    int readsAfterAbort = -1;
    fs_.OnRead("", [&] {
      if (readsAfterAbort >= 0) ++readsAfterAbort;
    });
    bool aborted = false;
    const RunResult result = Convert(input, out_, [&](ConversionRun& run, const Progress& p) {
      if (p.heartbeat && !aborted) {
        run.Abort();
        aborted = true;
        readsAfterAbort = 0;
      }
    });
    EXPECT_EQ(result.status, RunStatus::Aborted);
    EXPECT_EQ(readsAfterAbort, 0);
    EXPECT_FALSE(FileExists(out_));
  }
}

TEST_F(ConversionRunTest, EndlessLineFailsInsteadOfFillingMemory) {
  const RunResult result = Convert("/dev/zero", out_);
  EXPECT_EQ(result.status, RunStatus::Failed);
  EXPECT_EQ(result.error, "/dev/zero: a line is longer than 1024 MiB");
}

TEST_F(ConversionRunTest, InterruptFlagStopsTheRunAndCleansUp) {
  WriteFile(in_, NumberedLog(250));
  volatile std::sig_atomic_t signal = 0;
  RunRequest request;
  request.inputPath = in_;
  request.outputPath = in_;
  request.tempDir = tempDir_;
  ConversionRun run(rewriter_, fs_);
  run.SetInterruptFlag(&signal);
  const RunResult result = run.Execute(request, [&](const Progress& p) {
    if (p.pass == 2 && p.done == 100) signal = SIGTERM;
  });
  EXPECT_EQ(result.status, RunStatus::Interrupted);
  EXPECT_EQ(ReadFile(in_), NumberedLog(250));
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"ix1.log", "tmp"}));
}

TEST_F(ConversionRunTest, TemporaryCopyThatCannotBeDeletedFailsTheRun) {
  WriteFile(in_, "a\n");
  fs_.FailUnlink("Kestrel-", EBUSY);
  const RunResult result = Convert(in_, out_);
  EXPECT_EQ(result.status, RunStatus::Failed);
  EXPECT_EQ(result.error, result.tempPath + ": Device or resource busy");
  ::unlink(result.tempPath.c_str());
}

TEST_F(ConversionRunTest, UsedTemporaryNameIsSkipped) {
  const std::string leftOver = tempDir_ + "/" + TempFileName(0x2A);
  WriteFile(leftOver, "left by a crashed run");
  WriteFile(in_, "a\n");
  const RunResult result = Convert(in_, out_);
  ASSERT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(result.tempPath, tempDir_ + "/" + TempFileName(0x2B));
  EXPECT_EQ(ReadFile(leftOver), "left by a crashed run");
  ::unlink(leftOver.c_str());
}

}  // namespace
}  // namespace kestrel
