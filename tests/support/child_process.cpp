#include "child_process.h"

#include <fcntl.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "test_files.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestrel::test {

#ifdef _WIN32
namespace {

std::wstring Wide(const std::string& utf8) { return NativePath(utf8).wstring(); }

// One argument as the C runtime of the child splits its command line:
// quoted, with the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  return quoted.append(2 * backslashes, L'\\') + L"\"";
}

// Points standard input, output or error of this process at a file for as
// long as it lives; the child started meanwhile inherits them.
class Redirect {
 public:
  Redirect(int fd, const std::string& path, int flags) : fd_(fd), saved_(::_dup(fd)) {
    // In text mode, as a program started from a console finds them: the C
    // runtime hands the mode of its files down to the child.
    const int file = ::_wopen(path == "/dev/null" ? L"NUL" : Wide(path).c_str(), flags | _O_TEXT, 0600);
    if (file < 0) throw std::runtime_error("cannot open " + path);
    ::_dup2(file, fd);
    ::_close(file);
  }
  ~Redirect() {
    ::_dup2(saved_, fd_);
    ::_close(saved_);
  }

 private:
  int fd_, saved_;
};

// Sets environment variables for as long as it lives.
class Environment {
 public:
  explicit Environment(const std::vector<std::string>& env) {
    for (const auto& entry : env) {
      const std::wstring name = Wide(entry.substr(0, entry.find('=')));
      const wchar_t* old = ::_wgetenv(name.c_str());
      saved_.push_back(name + L"=" + (old ? old : L""));
      Set(entry.find('=') == std::string::npos ? name + L"=" : Wide(entry));
    }
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Set(*it);
  }

 private:
  static void Set(const std::wstring& entry) { ::_wputenv(entry.c_str()); }
  std::vector<std::wstring> saved_;
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdinPath,
                           const std::vector<std::string>& env, const std::string& stdoutPath)
    : capture_(std::make_unique<ScratchDir>()) {
  std::vector<std::wstring> args;
  for (const auto& arg : argv) args.push_back(Quoted(Wide(arg)));
  std::vector<const wchar_t*> pointers;
  for (const auto& arg : args) pointers.push_back(arg.c_str());
  pointers.push_back(nullptr);
  Environment environment(env);
  Redirect in(0, stdinPath, _O_RDONLY);
  Redirect out(1, stdoutPath.empty() ? *capture_ / "out" : stdoutPath,
               _O_WRONLY | _O_CREAT | (stdoutPath.empty() ? _O_TRUNC : _O_APPEND));
  Redirect err(2, *capture_ / "err", _O_WRONLY | _O_CREAT | _O_TRUNC);
  process_ = ::_wspawnv(_P_NOWAIT, Wide(argv[0]).c_str(), pointers.data());
  if (process_ == -1) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
  if (process_ != -1) Wait();
}

void ChildProcess::Signal(int) { throw std::logic_error("Windows has no signals to send"); }

ProcessResult ChildProcess::Wait() {
  int status = -1;
  ::_cwait(&status, process_, _WAIT_CHILD);
  process_ = -1;
  ProcessResult result;
  result.exitCode = status;
  if (FileExists(*capture_ / "out")) result.out = ReadFile(*capture_ / "out");
  result.err = ReadFile(*capture_ / "err");
  return result;
}

#else

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

#endif

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath,
                         const std::vector<std::string>& env) {
  return ChildProcess(argv, stdinPath, env).Wait();
}

}  // namespace kestrel::test
