#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_paths.h"
#include "path_fields.h"

namespace kestrel {
namespace {

struct PathCase {
  std::string input;
  std::string output;
};

// With ".txt" as the output extension, on Windows paths and on Unix paths.
TEST(PathWithoutExtensionTest, OutputPathFollowsTheInputPath) {
  const std::vector<PathCase> windows = {
      {"C:\\logs\\ix1.log", "C:\\logs\\ix1.txt"},     {"C:\\logs\\ix1", "C:\\logs\\ix1.txt"},
      {"C:\\logs.d\\ix1", "C:\\logs.d\\ix1.txt"},     {"C:\\logs\\ix1.2020.log", "C:\\logs\\ix1.2020.txt"},
      {"C:\\logs\\ix1.", "C:\\logs\\ix1.txt"},        {"", ".txt"},
      {"C:/logs.d/ix1", "C:/logs.d/ix1.txt"},         {"C:\\logs.d/ix1", "C:\\logs.d/ix1.txt"},
  };
  for (const auto& c : windows) EXPECT_EQ(PathWithoutExtension(c.input, "\\/") + ".txt", c.output) << c.input;

  const std::vector<PathCase> unix = {
      {"/logs/ix1.log", "/logs/ix1.txt"},     {"/logs/ix1", "/logs/ix1.txt"},
      {"/logs.d/ix1", "/logs.d/ix1.txt"},     {"/logs/ix1.2020.log", "/logs/ix1.2020.txt"},
      {"/logs/ix1.", "/logs/ix1.txt"},        {"", ".txt"},
      {"ix1.log", "ix1.txt"},                 {"/logs/.hidden", "/logs/.txt"},
      {"/my logs/ix 1.log", "/my logs/ix 1.txt"}, {"a\\b.c\\d", "a\\b.txt"},
  };
  for (const auto& c : unix) EXPECT_EQ(PathWithoutExtension(c.input, "/") + ".txt", c.output) << c.input;
}

TEST(WindowTitleTest, MinorVersionHasTwoDigits) {
  EXPECT_EQ(WindowTitle(0, 20), "Kestrel Ver.0.20");
  EXPECT_EQ(WindowTitle(1, 5), "Kestrel Ver.1.05");
  EXPECT_EQ(WindowTitle(2, 123), "Kestrel Ver.2.23");
}

TEST(ComputeAppPathsTest, BesideTheProgramOrInTheUsersDirectories) {
  const AppPaths beside = ComputeAppPaths("/opt/kestrel", true, "/home/u/.config/Kestrel", "/tmp", 0x1234);
  EXPECT_EQ(beside.iniPath, "/opt/kestrel/Kestrel.ini");
  EXPECT_EQ(beside.tempPath, "/opt/kestrel/Kestrel-00001234.tmp");
  EXPECT_EQ(beside.tempDir, "/opt/kestrel/");
  EXPECT_EQ(beside.tempNumber, 0x1234u);

  const AppPaths installed = ComputeAppPaths("/usr/bin/", false, "/home/u/.config/Kestrel", "/tmp", 0xBEEF);
  EXPECT_EQ(installed.iniPath, "/home/u/.config/Kestrel/Kestrel.ini");
  EXPECT_EQ(installed.tempPath, "/tmp/Kestrel-0000BEEF.tmp");
}

}  // namespace
}  // namespace kestrel
