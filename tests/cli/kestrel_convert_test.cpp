// kestrel-convert as a user runs it: the real program, its arguments,
// pipes, signals and limits.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "fixtures.h"
#include "kestrel_version.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace test;
using Args = std::vector<std::string>;

const std::string kProgram = KESTREL_CONVERT;
const std::string kExample = std::string(EXAMPLES_DIR) + "/ix-show-ip-route.log";

class KestrelConvertTest : public ::testing::Test {
 protected:
  ChildProcess Start(Args args, const std::string& stdinPath = "/dev/null", const std::string& stdoutPath = "") {
    args.insert(args.begin(), kProgram);
    return ChildProcess(args, stdinPath, {"TMPDIR=" + dir_.Path()}, stdoutPath);
  }
  ProcessResult Run(const Args& args, const std::string& stdinPath = "/dev/null") {
    return Start(args, stdinPath).Wait();
  }
  void SetUp() override { std::filesystem::current_path(NativePath(dir_.Path())); }

  ScratchDir dir_;
  const std::string converted_ = ReadFile(std::string(EXAMPLES_DIR) + "/ix-show-ip-route.converted.log");
};

// Arguments and what they give: the status, standard output, and standard
// error (one line, or empty).
TEST_F(KestrelConvertTest, ArgumentsTable) {
  WriteFile("-x.log", kRoute + "\n");
  WriteFile("a\nb.log", "");
  struct Case {
    Args args;
    std::string stdinPath;
    int status;
    std::string out;  // "EXAMPLE" for the converted example
    std::string err;
  };
  const Case cases[] = {
      {{kExample}, "/dev/null", 0, "EXAMPLE", ""},
      {{}, kExample, 0, "EXAMPLE", ""},
      {{"-"}, kExample, 0, "EXAMPLE", ""},
      {{"-o", "-", kExample}, "/dev/null", 0, "EXAMPLE", ""},
      {{"--", "-x.log"}, "/dev/null", 0, kRouteOut + "\r\n", ""},
      {{"--version"}, "/dev/null", 0, std::string("kestrel-convert ") + KESTREL_VERSION_TEXT + "\n", ""},
      {{"none.log"}, "/dev/null", 1, "", "kestrel-convert: none.log: No such file or directory"},
      {{"."}, "/dev/null", 1, "", "kestrel-convert: .: Is a directory"},
      {{"-o", "/dev/full", kExample}, "/dev/null", 1, "", "kestrel-convert: /dev/full: No space left on device"},
      {{"-o", "a\nb.log", kExample}, "/dev/null", 0, "", ""},
      {{"none\n\t\x1b.log"}, "/dev/null", 1, "", "kestrel-convert: none\\n\\t\\x1b.log: No such file or directory"},
      {{"-xV"}, "/dev/null", 2, "", "kestrel-convert: unknown option '-x' (try 'kestrel-convert --help')"},
      {{"a.log", "-qz"}, "/dev/null", 2, "", "kestrel-convert: unknown option '-q' (try 'kestrel-convert --help')"},
      {{"--bogus=1"}, "/dev/null", 2, "", "kestrel-convert: unknown option '--bogus' (try 'kestrel-convert --help')"},
      {{"-o"}, "/dev/null", 2, "", "kestrel-convert: option '-o' needs a value (try 'kestrel-convert --help')"},
      {{""}, "/dev/null", 2, "", "kestrel-convert: empty file name (try 'kestrel-convert --help')"},
      {{"-o", "x", "a", "b"}, "/dev/null", 2, "",
       "kestrel-convert: -o takes one log; use -i or --suffix for several (try 'kestrel-convert --help')"},
      {{"-i"}, "/dev/null", 2, "", "kestrel-convert: -i and --suffix need log files (try 'kestrel-convert --help')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    const ProcessResult result = Run(c.args, c.stdinPath);
    EXPECT_EQ(result.exitCode, c.status);
    EXPECT_EQ(result.out, c.out == "EXAMPLE" ? converted_ : c.out);
    EXPECT_EQ(result.err, c.err.empty() ? "" : c.err + "\n");
  }
  EXPECT_EQ(ReadFile("a\nb.log"), converted_);
  // --help names every exit status.
  const std::string help = Run({"--help"}).out;
  for (const char* status : {"0 ", "1 ", "2 ", "129", "130", "141", "143"})
    EXPECT_NE(help.find(status), std::string::npos) << status;
}

TEST_F(KestrelConvertTest, TerminalAsInputIsRefusedWithAHint) {
  const ProcessResult result = Run({}, Terminal().Path());
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "kestrel-convert: no input: name a log, or pipe one in (try 'kestrel-convert --help')\n");
}

// Several logs are one table: the route head carries from each to the next,
// whether they go to standard output, in place or beside themselves, and a
// log that fails does not stop the others.
TEST_F(KestrelConvertTest, SeveralLogsAreOneTable) {
  const std::string a = kRoute + "\n", b = kNext + "\n";
  const std::string aOut = kRouteOut + "\r\n", bOut = kNextOut + "\r\n";
  WriteFile("a.log", a);
  WriteFile("b.log", b);
  EXPECT_EQ(Run({"a.log", "b.log"}).out, aOut + bOut);
  ProcessResult result = Run({"--suffix=txt", "a.log", "none.log", "b.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel-convert: none.log: No such file or directory\n");
  EXPECT_EQ(ReadFile("a.txt") + ReadFile("b.txt"), aOut + bOut);
  EXPECT_EQ(Run({"-i", "a.log", "b.log"}).exitCode, 0);
  EXPECT_EQ(ReadFile("a.log") + ReadFile("b.log"), aOut + bOut);
  // The log as its own output by another route than -o is refused, as
  // `cat` refuses it.
  WriteFile("a.log", a);
  result = Start({"a.log"}, "/dev/null", "a.log").Wait();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel-convert: a.log: input file is output file\n");
  EXPECT_EQ(ReadFile("a.log"), a);
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"a.log", "a.txt", "b.log", "b.txt"}));
}

// A reader that goes away ends the program as it ends `cat`; a stop signal
// ends it whatever it waits on; a file size limit is a write error.
TEST_F(KestrelConvertTest, PipesSignalsAndLimits) {
  std::string big;
  for (int i = 0; i < 100000; ++i) big += kRoute + "\n";
  WriteFile("big.log", big);
  ASSERT_TRUE(MakeFifo("fifo"));

  ChildProcess head = Start({"big.log"}, "/dev/null", "fifo");
  std::ifstream("fifo").get();  // one byte, then the reader goes
  ProcessResult result = head.Wait();
  EXPECT_EQ(result.signal, SIGPIPE);
  EXPECT_EQ(result.err, "");

  struct Stop {
    int signal;
    int status;
    Args args;  // blocked writing to a pipe nobody reads, opening one, waiting for its writer
  };
  for (const Stop& stop : {Stop{SIGINT, 130, {"big.log"}}, Stop{SIGTERM, 143, {"-o", "fifo", "big.log"}},
                           Stop{SIGHUP, 129, {"fifo"}}}) {
    const bool toStdout = stop.signal == SIGINT;
    ChildProcess child = Start(stop.args, "/dev/null", toStdout ? "fifo" : "");
    std::ifstream silent;
    if (toStdout) silent.open("fifo");
    // Once the program catches the signal, however slowly a loaded machine
    // starts it, and has had the time to reach where it waits.
    const std::string status = "/proc/" + std::to_string(child.Pid()) + "/status";
    for (int i = 0; i < 10000 && FileExists(status); ++i) {
      const std::string text = ReadFile(status);
      if (std::stoull(text.substr(text.find("SigCgt:") + 7), nullptr, 16) >> (stop.signal - 1) & 1) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    child.Signal(stop.signal);
    result = child.Wait();
    EXPECT_EQ(result.exitCode, stop.status) << result.err;
    EXPECT_EQ(ReadFile("big.log"), big);
    EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"big.log", "fifo"}));
  }

  result = ChildProcess({"/bin/sh", "-c", "ulimit -f 8 && exec \"$0\" -o out.txt big.log", kProgram}).Wait();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "kestrel-convert: out.txt: File too large\n");
}

}  // namespace
}  // namespace kestrel
