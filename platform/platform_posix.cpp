#include <iconv.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace kestrel::platform {
namespace {

// A handler may touch only an atomic that needs no lock.
std::atomic<int> caughtSignal = 0;
static_assert(std::atomic<int>::is_always_lock_free);

void CatchSignal(int signal) { caughtSignal.store(signal); }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

// No SA_RESTART: a read, write or open blocked on a pipe returns at once, so
// the run sees the flag. SA_RESETHAND: the same signal again ends the program.
void CatchStopSignals() {
  caughtSignal = 0;
  struct sigaction action {};
  action.sa_handler = CatchSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

void RestoreStopSignals() {
  for (int signal : kStopSignals) ::signal(signal, SIG_DFL);
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGXFSZ, SIG_DFL);
}

const std::atomic<int>* StopSignalFlag() { return &caughtSignal; }

int CaughtStopSignal() { return caughtSignal.load(); }

int StopSignalExitStatus() { return 128 + caughtSignal.load(); }

void BlockStopSignalsInThisThread() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void DieOfClosedPipe() {
  ::signal(SIGPIPE, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(SIGPIPE);
  std::_Exit(128 + SIGPIPE);
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

std::uint32_t ProcessId() { return static_cast<std::uint32_t>(::getpid()); }

void WriteError(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

// Through glibc's converter, which fails on a byte that starts no character
// of the code page (EILSEQ) and on a character cut short at the end (EINVAL).
bool DecodeCp932(const std::string& bytes, std::string* utf8) {
  const iconv_t converter = ::iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = bytes;
  std::string out(bytes.size() * 3 + 4, '\0');  // a character of one or two bytes takes at most three
  char* from = in.data();
  char* to = out.data();
  std::size_t left = in.size(), room = out.size();
  const bool ok = ::iconv(converter, &from, &left, &to, &room) != static_cast<std::size_t>(-1) && left == 0;
  ::iconv_close(converter);
  if (ok) *utf8 = out.substr(0, out.size() - room);
  return ok;
}

std::string UserConfigFolder() {
  // Relative values are ignored, as the XDG rules say: they would put the
  // settings wherever the program happens to be started.
  auto absolute = [](const char* path) { return path && path[0] == '/'; };
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); absolute(config)) return config;
  const char* home = std::getenv("HOME");
  if (!absolute(home)) {
    const passwd* account = ::getpwuid(::getuid());
    home = account ? account->pw_dir : nullptr;
  }
  return absolute(home) ? std::string(home) + "/.config" : "";
}

// Nobody reads standard error only when the program was started from a
// desktop session (its launcher, a file manager: the session names its
// desktop) with no terminal. Started with neither, as a scheduled job or a
// service is, with a display or without, nobody may be at the screen, and
// standard error goes where the job's output goes.
bool ConnectStandardError() {
  if (IsTerminal(2) || IsTerminal(0)) return true;
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  const char* session = std::getenv("DESKTOP_SESSION");
  return !(desktop && *desktop) && !(session && *session);
}

std::vector<std::string> ExpandPatterns(const std::vector<std::string>& names, std::vector<std::string>*) {
  return names;
}

std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace kestrel::platform
