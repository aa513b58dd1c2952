// Runs the real kestrel program in batch mode, from a directory of its own
// that holds its settings file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
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
  // the first log's last route, as the window remembers it.
  WriteFile(dir_ / "a.log", "Codes: C - connected, S - static\n" + kRoute + "\n");
  WriteFile(dir_ / "b \"c\".log", kNext + "\r\n");
  const auto result = Run({dir_ / "a.log", dir_ / "b \"c\".log"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "a.txt"), "Codes: C - connected, S - static\r\n"
                                      "O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0\r\n");
  EXPECT_EQ(ReadFile(dir_ / "b \"c\".txt"),
            std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0\r\n");
  EXPECT_EQ(ReadFile(dir_ / "Kestrel.ini"), kIni);
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"Kestrel.ini", "a.log", "a.txt", "b \"c\".log", "b \"c\".txt",
                                                      "kestrel"}));
}

TEST_F(BatchTest, RunsWithoutADisplay) {
  WriteFile(dir_ / "a.log", "a, Giga0, t\n");
  const auto result = Run({dir_ / "a.log"}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "a.txt"), "a, t, Giga0\r\n");
}

TEST_F(BatchTest, FailedLogsAreReportedAndTheBatchGoesOn) {
  WriteFile(dir_ / "good.log", "a, Giga0, t\n");
  const auto result = Run({dir_ / "missing.log", "", dir_ / "good.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(ReadFile(dir_ / "good.txt"), "a, t, Giga0\r\n");
  EXPECT_NE(result.err.find("kestrel: " + (dir_ / "missing.log") + ": No such file or directory\n"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("kestrel: empty file name"), std::string::npos) << result.err;
  EXPECT_FALSE(FileExists(dir_ / "missing.txt"));
}

TEST_F(BatchTest, OverwriteOptionConvertsInPlace) {
  WriteFile(dir_ / "Kestrel.ini", "[Kestrel]\nOverWrite=true\nFileExt=.txt\n");
  WriteFile(dir_ / "a.log", "a, Giga0, t\n");
  const auto result = Run({dir_ / "a.log"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "a.log"), "a, t, Giga0\r\n");
  EXPECT_FALSE(FileExists(dir_ / "a.txt"));
}

}  // namespace
}  // namespace kestrel
