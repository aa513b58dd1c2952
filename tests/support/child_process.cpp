#include "child_process.h"

#include <fcntl.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "test_files.h"

#include <sys/wait.h>
#include <unistd.h>

namespace kestrel::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdinPath,
                           const std::vector<std::string>& env, const std::string& stdoutPath)
    : capture_(std::make_unique<ScratchDir>()) {
  const std::string outPath = stdoutPath.empty() ? *capture_ / "out" : stdoutPath;
  const std::string errPath = *capture_ / "err";
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) {
    process_ = pid;
    return;
  }
  const int in = ::open(stdinPath.c_str(), O_RDONLY);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | (stdoutPath.empty() ? O_TRUNC : O_APPEND), 0600);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || out < 0 || err < 0) ::_exit(127);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  for (const auto& entry : env) {
    if (entry.find('=') == std::string::npos)
      ::unsetenv(entry.c_str());
    else
      ::putenv(const_cast<char*>(entry.c_str()));
  }
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

ChildProcess::~ChildProcess() {
  if (process_ > 0) {
    ::kill(static_cast<pid_t>(process_), SIGKILL);
    Wait();
  }
}

void ChildProcess::Signal(int signal) { ::kill(static_cast<pid_t>(process_), signal); }

ProcessResult ChildProcess::Wait() {
  int status = 0;
  while (::waitpid(static_cast<pid_t>(process_), &status, 0) < 0) {
  }
  process_ = -1;
  ProcessResult result;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (FileExists(*capture_ / "out")) result.out = ReadFile(*capture_ / "out");
  result.err = ReadFile(*capture_ / "err");
  return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath,
                         const std::vector<std::string>& env) {
  return ChildProcess(argv, stdinPath, env).Wait();
}

}  // namespace kestrel::test
