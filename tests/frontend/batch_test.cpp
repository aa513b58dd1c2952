// Runs the real kestrel program in batch mode, from a folder of its own that
// holds its settings file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "child_process.h"
#include "fixtures.h"
#include "test_files.h"

namespace kestrel::test {
namespace {

// Every argument is a log, converted in turn, on a dead display (so
// offscreen). The second log opens with a continuation line: it takes the
// bracket of the first log's last route, as the window remembers it. One
// name is in Shift-JIS, one invalid in any encoding, and one reads like
// Qt's option. Failures are reported, one line each, and the batch goes on.
TEST(BatchTest, ConvertsEveryLogInTurnThenExits) {
  ScratchDir dir;
  std::filesystem::copy_file(KESTREL_PROGRAM, dir / "kestrel");
  const std::string ini = "[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n", a = dir / "a\xff", b = dir / "b \"c\" \x83\x8d";
  WriteFile(dir / "Kestrel.ini", ini);
  WriteFile(a + ".log", "Codes: C - connected\n" + kRoute + "\n");
  WriteFile(b + ".log", kNext + "\r\n");
  const auto result = RunProcess({dir / "kestrel", a + ".log", dir / "missing.log", "", "-style", b + ".log"},
                                 "/dev/null", {"DISPLAY=:77", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel: " + (dir / "missing.log") +
                            ": No such file or directory\nkestrel: empty file name: nothing converted\n"
                            "kestrel: -style: No such file or directory\n");
  EXPECT_EQ(ReadFile(a + ".txt"), "Codes: C - connected\r\n" + kRouteOut + "\r\n");
  EXPECT_EQ(ReadFile(b + ".txt"), kNextOut + "\r\n");
  EXPECT_EQ(ReadFile(dir / "Kestrel.ini"), ini);
  EXPECT_EQ(dir.Entries().size(), 6u);
}

}  // namespace
}  // namespace kestrel::test
