#pragma once

#include <string>
#include <vector>

namespace kestrel::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs a program to its end with standard input read from `stdinPath`
// ("/dev/null" by default) and its standard output and error captured.
// `env` entries ("NAME=value") are added to the environment; an entry
// without "=" removes that variable.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath = "/dev/null",
                         const std::vector<std::string>& env = {});

}  // namespace kestrel::test
