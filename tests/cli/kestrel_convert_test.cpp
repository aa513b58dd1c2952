#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "test_files.h"

namespace kestrel {
namespace {

using test::ReadFile;
using test::RunProcess;
using test::WriteFile;

const std::string kProgram = KESTREL_CONVERT;
const std::string kExample = std::string(EXAMPLES_DIR) + "/ix-show-ip-route.log";
const std::string kConverted = std::string(EXAMPLES_DIR) + "/ix-show-ip-route.converted.log";

class KestrelConvertTest : public ::testing::Test {
 protected:
  test::ProcessResult Run(std::vector<std::string> args, const std::string& stdinPath = "/dev/null") {
    args.insert(args.begin(), kProgram);
    return RunProcess(args, stdinPath, {"TMPDIR=" + dir_.Path()});
  }
  test::ScratchDir dir_;
};

TEST_F(KestrelConvertTest, ConvertsTheExampleFromFileOrStandardInput) {
  const std::string expected = ReadFile(kConverted);
  for (const auto& [args, stdinPath] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{kExample}, "/dev/null"}, {{}, kExample}, {{"-"}, kExample}, {{"-o", "-", kExample}, "/dev/null"}}) {
    const auto result = Run(args, stdinPath);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_TRUE(dir_.Entries().empty()) << "temporary copy left behind";
}

TEST_F(KestrelConvertTest, WritesTheOutputFileAndConvertsInPlace) {
  const std::string log = dir_ / "ix1.log";
  const std::string out = dir_ / "ix1.txt";
  WriteFile(log, ReadFile(kExample));
  EXPECT_EQ(Run({"-o", out, log}).exitCode, 0);
  EXPECT_EQ(ReadFile(out), ReadFile(kConverted));
  EXPECT_EQ(Run({"--output=" + log, log}).exitCode, 0);
  EXPECT_EQ(ReadFile(log), ReadFile(kConverted));
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"ix1.log", "ix1.txt"}));
}

TEST_F(KestrelConvertTest, HelpAndVersion) {
  const auto version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "kestrel-convert 0.20\n");
  const auto help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: kestrel-convert [-o OUTPUT] [INPUT]"), std::string::npos);
}

TEST_F(KestrelConvertTest, UsageErrorsExitWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"a.log", "b.log"}, {"--bogus"}, {"-o"}, {""}}) {
    const auto result = Run(args);
    EXPECT_EQ(result.exitCode, 2) << args[0];
    EXPECT_EQ(result.err.rfind("kestrel-convert: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

TEST_F(KestrelConvertTest, FileErrorsExitWithOneNamingTheFile) {
  const std::string missing = dir_ / "ix1.log";
  auto result = Run({missing});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel-convert: " + missing + ": No such file or directory\n");

  result = Run({"-o", "/dev/full", kExample});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel-convert: /dev/full: No space left on device\n");
  EXPECT_TRUE(dir_.Entries().empty()) << "temporary copy left behind";
}

}  // namespace
}  // namespace kestrel
