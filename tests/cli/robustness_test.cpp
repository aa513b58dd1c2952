// kestrel-convert against failing disks, signals, kills and hostile input.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "faulty_file_system.h"
#include "kestrel_convert.h"
#include "child_process.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace std::string_literals;
using test::FileExists;
using test::ReadFile;
using test::WriteFile;

const std::string kProgram = KESTREL_CONVERT;

std::string RouteLog(int routes) {
  std::string log;
  for (int i = 0; i < routes; ++i)
    log += "B       10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256) + "/32 [20/0] via 192.168.0.1, GigaEthernet0.0, 1d02h\n";
  return log;
}

class RobustnessTest : public ::testing::Test {
 protected:
  // Runs kestrel-convert in this process on `fs`, with its error output
  // captured; returns the exit status.
  int RunInProcess(std::vector<std::string> args, FileSystem& fs, std::string& err) {
    args.insert(args.begin(), "kestrel-convert");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved ? saved : "";
    ::setenv("TMPDIR", tmp_.c_str(), 1);
    testing::internal::CaptureStderr();
    const int status = KestrelConvertMain(static_cast<int>(args.size()), argv.data(), fs);
    err = testing::internal::GetCapturedStderr();
    if (saved)
      ::setenv("TMPDIR", previous.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    return status;
  }

  test::ChildProcess Start(std::vector<std::string> args) {
    args.insert(args.begin(), kProgram);
    return test::ChildProcess(args, "/dev/null", {"TMPDIR=" + tmp_});
  }

  void SetUp() override { ASSERT_EQ(::mkdir(tmp_.c_str(), 0700), 0); }
  void TearDown() override { EXPECT_EQ(::rmdir(tmp_.c_str()), 0) << "temporary copy left behind"; }

  test::ScratchDir dir_;
  std::string tmp_ = dir_ / "tmp";
  std::string log_ = dir_ / "ix1.log";
  std::string out_ = dir_ / "ix1.txt";
};

struct FaultCase {
  const char* name;
  std::function<void(test::FaultyFileSystem&)> arrange;
  bool inPlace;
  std::string file;  // the file the error names: "log", "out" or "temp"
  std::string reason;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultTest : public RobustnessTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, OneLineNamingTheFileAndNothingLost) {
  const FaultCase& c = GetParam();
  const std::string log = RouteLog(300);
  WriteFile(log_, log);
  test::FaultyFileSystem fs;
  c.arrange(fs);
  std::string err;
  EXPECT_EQ(RunInProcess({"-o", c.inPlace ? log_ : out_, log_}, fs, err), 1);
  const std::string file = c.file == "log" ? log_ : c.file == "out" ? out_ : tmp_ + "/";
  EXPECT_EQ(err.rfind("kestrel-convert: " + file, 0), 0u) << err;
  EXPECT_EQ(err.substr(err.size() - c.reason.size() - 1), c.reason + "\n") << err;
  EXPECT_EQ(ReadFile(log_), log);
  // Nothing but the log and, after a failed write, the output as far as it got.
  std::vector<std::string> entries = dir_.Entries();
  std::erase(entries, "ix1.txt");
  EXPECT_EQ(entries, (std::vector<std::string>{"ix1.log", "tmp"}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultTest,
    ::testing::Values(
        FaultCase{"DiskFullCopying", [](auto& fs) { fs.FailWrite("Kestrel-", ENOSPC, 4096); }, false, "temp",
                  "No space left on device"},
        FaultCase{"DiskFullWriting", [](auto& fs) { fs.FailWrite("ix1.txt", ENOSPC, 4096); }, false, "out",
                  "No space left on device"},
        FaultCase{"DiskFullInPlace", [](auto& fs) { fs.FailWrite(".ix1.log.kestrel-", ENOSPC, 4096); }, true, "log",
                  "No space left on device"},
        FaultCase{"ReadError", [](auto& fs) { fs.FailRead("ix1.log", EIO); }, true, "log", "Input/output error"},
        FaultCase{"TemporaryDirectoryNotWritable", [](auto& fs) { fs.FailOpen("Kestrel-", EACCES); }, true, "temp",
                  "Permission denied"},
        FaultCase{"LogDirectoryNotWritable", [](auto& fs) { fs.FailOpen(".ix1.log.kestrel-", EACCES); }, true, "log",
                  "Permission denied"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RobustnessTest, OutputDirectoryRemovedDuringTheRun) {
  const std::string sub = dir_ / "out";
  ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
  WriteFile(log_, RouteLog(300));
  test::FaultyFileSystem fs;
  fs.OnRead("Kestrel-", [sub] { std::filesystem::remove_all(sub); });
  std::string err;
  EXPECT_EQ(RunInProcess({"-o", sub + "/ix1.txt", log_}, fs, err), 1);
  EXPECT_EQ(err, "kestrel-convert: " + sub + "/ix1.txt: the file was removed during the conversion\n");
}

// A stop signal while the run waits for a pipe nobody writes to: the run
// ends at once, removes its temporary copy and exits as the shell expects.
TEST_F(RobustnessTest, StopSignalsCleanUpAndExitConventionally) {
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    test::ChildProcess child = Start({"-o", out_, fifo});
    // Wait until the run has made its temporary copy.
    for (int i = 0; i < 500 && test::ScratchDir::List(tmp_).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(test::ScratchDir::List(tmp_).empty());
    child.Signal(signal);
    const test::ProcessResult result = child.Wait();
    EXPECT_EQ(result.exitCode, status) << result.err;
    EXPECT_TRUE(test::ScratchDir::List(tmp_).empty());
    EXPECT_FALSE(FileExists(out_));
  }
}

// Killed outright at any moment while converting a log in place, the log is
// either as it was or wholly converted, never half of each.
TEST_F(RobustnessTest, KilledInPlaceTheLogIsWholeEitherWay) {
  const std::string original = RouteLog(200000);
  WriteFile(log_, original);
  ASSERT_EQ(test::RunProcess({kProgram, "-o", out_, log_}, "/dev/null", {"TMPDIR=" + tmp_}).exitCode, 0);
  const std::string converted = ReadFile(out_);
  std::filesystem::remove(out_);
  std::mt19937 random(20261206);
  int untouched = 0, done = 0;
  for (int round = 0; round < 12; ++round) {
    test::ChildProcess child = Start({"-o", log_, log_});
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 150000));
    child.Signal(SIGKILL);
    child.Wait();
    const std::string now = ReadFile(log_);
    if (now == original) ++untouched;
    else if (now == converted) ++done;
    else ADD_FAILURE() << "round " << round << ": the log is damaged (" << now.size() << " bytes)";
    WriteFile(log_, original);
    // A kill leaves its temporary files behind; nothing else can.
    for (const std::string& name : dir_.Entries())
      if (name.rfind(".ix1.log.kestrel-", 0) == 0) std::filesystem::remove(dir_ / name);
    for (const std::string& name : test::ScratchDir::List(tmp_)) std::filesystem::remove(tmp_ + "/" + name);
  }
  RecordProperty("untouched", untouched);
  RecordProperty("converted", done);
}

struct InputCase {
  const char* name;
  std::string file;   // the log's name in the scratch directory
  std::string bytes;  // its content
  std::string expected;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

class InputTest : public RobustnessTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputTest, ConvertsExactly) {
  const InputCase& c = GetParam();
  WriteFile(dir_ / c.file, c.bytes);
  ASSERT_EQ(::chdir(dir_.Path().c_str()), 0);
  const test::ProcessResult result = test::RunProcess({kProgram, "-o", "out.txt", "--", c.file}, "/dev/null",
                                                      {"TMPDIR=" + tmp_});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, InputTest,
    ::testing::Values(
        InputCase{"NameWithBlanksQuotesAndJapanese", "my \"ix\" ルータ 1.log", "a, Giga0, t\n", "a, t, Giga0\r\n"},
        InputCase{"NameLikeAnOption", "-x.log", "a, Giga0, t\n", "a, t, Giga0\r\n"},
        InputCase{"InvalidShiftJis", "sjis.log", "\x82, Giga\x81\xff, \x93\n\x81", "\x82, \x93, Giga\x81\xff\r\n\x81\r\n"},
        InputCase{"InvalidUtf8", "utf8.log", "\xc3\x28, Tunn\xe2\x82, \xf0\n", "\xc3\x28, \xf0, Tunn\xe2\x82\r\n"},
        InputCase{"NulBytes", "nul.log", "\0, Loop\0, \0\n\0"s, "\0, \0, Loop\0\r\n\0\r\n"s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RobustnessTest, DirectoryAsInputFailsClearly) {
  const test::ProcessResult result = test::RunProcess({kProgram, dir_.Path()}, "/dev/null", {"TMPDIR=" + tmp_});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel-convert: " + dir_.Path() + ": Is a directory\n");
}

// One line of a thousand million bytes passes through whole.
TEST_F(RobustnessTest, GigabyteLine) {
  constexpr std::size_t kLength = 1000000000;
  {
    std::ofstream log(log_, std::ios::binary);
    const std::string chunk(1 << 20, 'x');
    for (std::size_t left = kLength; left > 0; left -= std::min(left, chunk.size()))
      log.write(chunk.data(), static_cast<std::streamsize>(std::min(left, chunk.size())));
    log << "\n, Giga0, t\n";
  }
  const test::ProcessResult result = test::RunProcess({kProgram, "-o", out_, log_}, "/dev/null", {"TMPDIR=" + tmp_});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  struct stat info{};
  ASSERT_EQ(::stat(out_.c_str(), &info), 0);
  EXPECT_EQ(static_cast<std::size_t>(info.st_size), kLength + 2 + 12);
  std::ifstream out(out_, std::ios::binary);
  out.seekg(static_cast<std::streamoff>(kLength - 3));
  std::string tail(17, '\0');
  out.read(tail.data(), 17);
  EXPECT_EQ(tail, "xxx\r\n, t, Giga0\r\n");
  std::filesystem::remove(log_);
  std::filesystem::remove(out_);
}

}  // namespace
}  // namespace kestrel
