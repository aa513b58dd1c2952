// Runs the real kestrel program in batch mode, from a directory of its own
// that holds its settings file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "test_files.h"

namespace kestrel {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

const std::string kRoute = "O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, 0:01:02";
const std::string kNext = std::string(28, ' ') + "via 192.168.0.2, GigaEthernet1.0, 0:01:02";

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(KESTREL_PROGRAM, program_);
    WriteFile(dir_ / "Kestrel.ini", kIni);
  }

  test::ProcessResult Run(std::vector<std::string> logs, std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen"}) {
    logs.insert(logs.begin(), program_);
    return test::RunProcess(logs, "/dev/null", env);
  }

  const std::string kIni = "[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n";
  test::ScratchDir dir_;
  std::string program_ = dir_ / "kestrel";
};

TEST_F(BatchTest, ConvertsEveryLogInTurnThenExits) {
  // The second log opens with a continuation line: it takes the bracket of
  // the first log's last route, as the window remembers it. Its name is in
  // Shift-JIS, and the other is not valid in any encoding.
  const std::string a = "a\xff", b = "b \"c\" \x83\x8d\x83\x4f";
  WriteFile(dir_ / a + ".log", "Codes: C - connected, S - static\n" + kRoute + "\n");
  WriteFile(dir_ / b + ".log", kNext + "\r\n");
  const auto result = Run({dir_ / a + ".log", dir_ / b + ".log"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / a + ".txt"), "Codes: C - connected, S - static\r\n"
                                         "O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0\r\n");
  EXPECT_EQ(ReadFile(dir_ / b + ".txt"), std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0\r\n");
  EXPECT_EQ(ReadFile(dir_ / "Kestrel.ini"), kIni);
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"Kestrel.ini", a + ".log", a + ".txt", b + ".log", b + ".txt",
                                                      "kestrel"}));
}

// Without a display, with an empty one or a dead one, a batch runs offscreen,
// and a clean run prints nothing.
TEST_F(BatchTest, RunsWithoutADisplay) {
  WriteFile(dir_ / "a.log", "a, Giga0, t\n");
  for (const char* display : {"DISPLAY", "DISPLAY=", "DISPLAY=:77"}) {
    const auto result = Run({dir_ / "a.log"}, {display, "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"});
    EXPECT_EQ(result.exitCode, 0) << display;
    EXPECT_EQ(result.err, "") << display;
    EXPECT_EQ(ReadFile(dir_ / "a.txt"), "a, t, Giga0\r\n");
  }
}

TEST_F(BatchTest, FailedLogsAreReportedAndTheBatchGoesOn) {
  WriteFile(dir_ / "good.log", "a, Giga0, t\n");
  const auto result = Run({dir_ / "missing.log", "", "-style", dir_ / "good.log"});  // a log, not Qt's option
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(ReadFile(dir_ / "good.txt"), "a, t, Giga0\r\n");
  EXPECT_NE(result.err.find("kestrel: " + (dir_ / "missing.log") + ": No such file or directory\n"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("kestrel: empty file name"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("kestrel: -style: No such file or directory\n"), std::string::npos) << result.err;
  EXPECT_FALSE(FileExists(dir_ / "missing.txt"));
}

TEST_F(BatchTest, OverwriteOptionConvertsInPlace) {
  WriteFile(dir_ / "Kestrel.ini", "[Kestrel]\nOverWrite=true\nFileExt=.txt\n");
  WriteFile(dir_ / "a\xff.log", "a, Giga0, t\n");
  WriteFile(dir_ / "a\uFFFD.log", "not this one\n");  // the same name, as far as text goes
  const auto result = Run({dir_ / "a\xff.log"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "a\xff.log"), "a, t, Giga0\r\n");
  EXPECT_EQ(ReadFile(dir_ / "a\uFFFD.log"), "not this one\n");
  EXPECT_EQ(dir_.Entries().size(), 4u);
}

// Ctrl-C, SIGTERM and SIGHUP end a batch, or the idle window, after the run
// has cleaned up: no temporary copy, no replacement beside the log, the log
// untouched. Each row signals once the run is known to be where it names.
TEST_F(BatchTest, StopSignalsCleanUpAndEndWithTheirStatus) {
  WriteFile(dir_ / "Kestrel.ini", "[Kestrel]\r\nOverWrite=TRUE\r\n");
  std::string log;
  for (int i = 0; i < 2'000'000; ++i) log += "a, Giga0, t\n";
  WriteFile(dir_ / "a.log", log);
  ASSERT_EQ(::mkfifo((dir_ / "pipe.log").c_str(), 0600), 0);
  const auto replacing = [&] {  // the converted log is being written beside it
    for (const std::string& name : dir_.Entries()) if (name[0] == '.') return true;
    return false;
  };
  struct Case { int signal; std::string log; };
  for (const Case& c : {Case{SIGINT, "pipe.log"}, Case{SIGTERM, "a.log"}, Case{SIGHUP, ""}}) {
    test::ChildProcess child(c.log.empty() ? std::vector<std::string>{program_} : std::vector{program_, dir_ / c.log},
                             "/dev/null", {"QT_QPA_PLATFORM=offscreen"});
    std::ofstream writer;
    if (c.log == "pipe.log") writer.open(dir_ / c.log);  // copying, waiting for more
    writer << "a, Giga0, t\n" << std::flush;
    const std::string status = "/proc/" + std::to_string(child.Pid()) + "/status";
    const auto catching = [&] {  // the window has set up its signal handlers
      const std::string text = ReadFile(status);
      return std::stoull(text.substr(text.find("SigCgt:") + 7), nullptr, 16) & (1ull << (c.signal - 1));
    };
    for (int i = 0; i < 10000 && !(c.log == "a.log" ? replacing() : catching()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    child.Signal(c.signal);
    EXPECT_EQ(child.Wait().exitCode, 128 + c.signal) << c.signal;
    EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"Kestrel.ini", "a.log", "kestrel", "pipe.log"}));
  }
  EXPECT_TRUE(ReadFile(dir_ / "a.log") == log);
}

}  // namespace
}  // namespace kestrel
