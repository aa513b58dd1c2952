#include "kestrel_convert.h"

#include <getopt.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "conversion_run.h"
#include "kestrel_version.h"
#include "line_rewriter.h"
#include "platform.h"

namespace kestrel {
namespace {

constexpr const char* kProgram = "kestrel-convert";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintHelp() {
  std::printf(
      "Usage: %s [-o OUTPUT] [INPUT]\n"
      "Rewrite the `show ip route` log of an NEC IX router into the layout of a\n"
      "Cisco router, so that the two routing tables can be compared line by line.\n"
      "\n"
      "Reads INPUT, or standard input when INPUT is missing or '-'; writes OUTPUT,\n"
      "or standard output when -o is missing or '-'. The output has CR LF line\n"
      "ends. OUTPUT may be INPUT itself: the log is replaced only once the whole\n"
      "of it has been converted.\n"
      "\n"
      "  -o, --output=OUTPUT  write the converted log to OUTPUT\n"
      "  -h, --help           show this help and exit\n"
      "  -V, --version        show the version and exit\n"
      "\n"
      "The temporary copy of the log is made in $TMPDIR (or /tmp).\n"
      "Exit status: 0 converted, 1 a file could not be read or written, 2 usage error.\n",
      kProgram);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "%s: %s (try '%s --help')\n", kProgram, message.c_str(), kProgram);
  return kExitUsage;
}

// Shows the run's progress on a terminal, once the run has taken long enough
// for it to matter, and no more often than the eye can follow.
class TerminalProgress {
 public:
  explicit TerminalProgress(bool enabled) : enabled_(enabled), start_(Clock::now()) {}
  ~TerminalProgress() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }

  void operator()(const Progress& progress) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::milliseconds(500) || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%s: %s %s lines\033[K", kProgram, progress.pass == 1 ? "copying" : "converting",
                 progress.Text().c_str());
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point last_{};
};

}  // namespace

int KestrelConvertMain(int argc, char** argv, FileSystem& fs) {
  optind = 0;  // parse afresh on every call
  static const option kOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  std::string output = "-";
  opterr = 0;
  int option;
  while ((option = getopt_long(argc, argv, ":o:hV", kOptions, nullptr)) != -1) {
    switch (option) {
      case 'o':
        output = optarg;
        break;
      case 'h':
        PrintHelp();
        return 0;
      case 'V':
        std::printf("%s %s\n", kProgram, KESTREL_VERSION_TEXT);
        return 0;
      case ':':
        return UsageError(std::string("option '") + argv[optind - 1] + "' needs a file name");
      default:
        return UsageError(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (argc - optind > 1) return UsageError(std::string("more than one input: '") + argv[optind + 1] + "'");
  const std::string input = optind < argc ? argv[optind] : "-";
  if (output.empty() || input.empty()) return UsageError("empty file name");

  RunRequest request;
  if (input == "-")
    request.inputFd = STDIN_FILENO;
  else
    request.inputPath = input;
  if (output == "-")
    request.outputFd = STDOUT_FILENO;
  else
    request.outputPath = output;
  const char* tmpdir = std::getenv("TMPDIR");
  request.tempDir = tmpdir && *tmpdir ? tmpdir : "/tmp";
  request.tempNumber = platform::ProcessId();

  LineRewriter rewriter;
  ConversionRun run(rewriter, fs);
  platform::CatchStopSignals();
  run.SetInterruptFlag(platform::StopSignalFlag());
  RunResult result;
  {
    TerminalProgress progress(platform::IsTerminal(STDERR_FILENO));
    result = run.Execute(request, [&](const Progress& p) { progress(p); });
  }
  platform::RestoreStopSignals();
  if (result.status == RunStatus::Interrupted) return platform::StopSignalExitStatus();
  if (result.status != RunStatus::Finished) {
    std::fprintf(stderr, "%s: %s\n", kProgram, result.error.c_str());
    return kExitFailure;
  }
  return 0;
}

}  // namespace kestrel
