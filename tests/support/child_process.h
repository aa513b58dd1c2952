#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  int signal = 0;     // the signal that ended it, if one did
  std::string out;
  std::string err;
};

class ScratchDir;

// (POSIX systems: the programs' own behaviour under Windows is checked by
// scripts/test-windows.sh.)
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

  std::intptr_t Pid() const { return process_; }
  void Signal(int signal);
  // Waits for the end of the program.
  ProcessResult Wait();

 private:
  std::unique_ptr<ScratchDir> capture_;
  std::intptr_t process_ = -1;
};

// Runs a program to its end.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath = "/dev/null",
                         const std::vector<std::string>& env = {});

}  // namespace kestrel::test
