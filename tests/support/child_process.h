#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

// Signal numbers of POSIX systems, named here also where the C runtime does
// not name them (Windows, whose tests of signals skip).
inline constexpr int kSigHup = 1, kSigPipe = 13;

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  int signal = 0;     // the signal that ended it, if one did (never on Windows)
  std::string out;
  std::string err;
};

class ScratchDir;

// A program started with standard input read from `stdinPath` ("/dev/null"
// reads as empty on every system) and its standard output and error
// captured, or standard output appended to `stdoutPath` when one is given (a
// file, or a named pipe the test reads). `env` entries ("NAME=value") are
// added to the environment; an entry without "=" removes that variable.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& stdinPath = "/dev/null",
               const std::vector<std::string>& env = {}, const std::string& stdoutPath = "");
  ~ChildProcess();

  // The process id (POSIX systems).
  std::intptr_t Pid() const { return process_; }
  // Sends a POSIX signal; Windows has none to send.
  void Signal(int signal);
  // Waits for the end of the program.
  ProcessResult Wait();

 private:
  std::unique_ptr<ScratchDir> capture_;
  std::intptr_t process_ = -1;  // process id, or on Windows the process handle
};

// Runs a program to its end.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath = "/dev/null",
                         const std::vector<std::string>& env = {});

}  // namespace kestrel::test
