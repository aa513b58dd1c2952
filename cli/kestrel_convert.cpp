#include "kestrel_convert.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "batch_guard.h"
#include "command_line.h"
#include "conversion_run.h"
#include "file_place.h"
#include "kestrel_version.h"
#include "line_rewriter.h"
#include "output_path.h"
#include "platform.h"

namespace kestrel {
namespace {

constexpr const char* kProgram = "kestrel-convert";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr FileHandle kStandardInput = 0;
constexpr FileHandle kStandardOutput = 1;

void PrintHelp() {
  std::printf(
      "Usage: %s [-o OUTPUT] [LOG]\n"
      "       %s [-i | --suffix=EXT] LOG...\n"
      "Rewrite the `show ip route` log of an NEC IX router into the layout of a\n"
      "Cisco router, so that the two routing tables can be compared line by line.\n"
      "\n"
      "Reads LOG, or standard input when LOG is missing or '-'; writes OUTPUT, or\n"
      "standard output when -o is missing or '-'. The output has CR LF line ends.\n"
      "OUTPUT may be LOG itself: the log is replaced only once the whole of it\n"
      "has been converted. Several logs are converted in turn as the pieces of\n"
      "one routing table: a multipath route continued at the top of a log takes\n"
      "its bracket from the last route of the log before.\n"
      "\n"
      "  -o, --output=OUTPUT  write the converted log to OUTPUT\n"
      "  -i, --in-place       replace each LOG with its conversion\n"
      "      --suffix=EXT     write each LOG's conversion beside it, its extension\n"
      "                       replaced by EXT (ix1.log -> ix1.txt with --suffix=.txt)\n"
      "  -h, --help           show this help and exit (/? on Windows too)\n"
      "  -V, --version        show the version and exit\n"
      "\n"
      "Exit status:\n"
      "  0    every log converted\n"
      "  1    a file could not be read or written (the other logs are still converted)\n"
      "  2    usage error\n"
      "  129, 130, 143  stopped by SIGHUP, SIGINT (Ctrl-C) or SIGTERM, after cleaning up\n"
      "  141  the reader of standard output went away (as `cat` in a pipe)\n",
      kProgram, kProgram);
}

int UsageError(const std::string& message) {
  platform::WriteError(std::string(kProgram) + ": " + message + " (try '" + kProgram + " --help')\n");
  return kExitUsage;
}

// Ends the help or the version: an error when standard output could not take it.
int EndStandardOutput() {
  const std::string error = CloseStandardOutput();
  if (error.empty()) return 0;
  platform::WriteError(std::string(kProgram) + ": " + error + "\n");
  return kExitFailure;
}

// Shows the run's progress on a terminal, once the run has taken long enough
// for it to matter, and no more often than the eye can follow.
class TerminalProgress {
 public:
  TerminalProgress(bool enabled, std::string log) : enabled_(enabled), log_(PrintableName(log)), start_(Clock::now()) {}
  ~TerminalProgress() {
    if (shown_) platform::WriteError("\r\033[K");
  }

  void operator()(const Progress& progress) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::milliseconds(500) || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    const std::string lines = std::to_string(progress.done) + " lines";
    platform::WriteError("\r" + std::string(kProgram) + ": " + log_ + " " +
                         (progress.bytesTotal > 0
                              ? std::to_string(100 * progress.bytesRead / progress.bytesTotal) + "% (" + lines + ")"
                              : lines) +
                         "\033[K");
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  std::string log_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point last_{};
};

struct Options {
  std::string output;  // -o; empty when not given
  bool inPlace = false;
  std::string suffix;
  bool hasSuffix = false;
  std::vector<std::string> logs;
  bool unmatched = false;  // a pattern matched no file
};

// Whether the text holds a control character: one of C0, DEL, or a C1
// control written in UTF-8.
bool HasControlCharacter(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c < 0x20 || c == 0x7f || (c == 0xc2 && next >= 0x80 && next <= 0x9f)) return true;
  }
  return false;
}

// Parses the command line; returns -1 to go on, or the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
  CLI::App app;
  app.set_help_flag();
  bool help = false, version = false;
  std::vector<std::string> arguments;
  const CLI::Option* output = app.add_option("-o,--output", options.output);
  app.add_flag("-i,--in-place", options.inPlace);
  const CLI::Option* suffix = app.add_option("--suffix", options.suffix);
  app.add_flag("-h,--help", help);
  app.add_flag("-V,--version", version);
  if (const std::string problem = ParseCommandLine(app, argc, argv, arguments); !problem.empty())
    return UsageError(problem);
  if (help) return PrintHelp(), EndStandardOutput();
  if (version) return std::printf("%s %s\n", kProgram, KESTREL_VERSION_TEXT), EndStandardOutput();
  const bool outputGiven = output->count() > 0;
  options.hasSuffix = suffix->count() > 0;
  // Patterns such as *.log, which the shell of Windows leaves to the program.
  std::vector<std::string> unmatched;
  options.logs = platform::ExpandPatterns(arguments, &unmatched);
  for (const std::string& pattern : unmatched)
    platform::WriteError(std::string(kProgram) + ": " + PrintableName(pattern) + ": no file matches\n");
  if (!unmatched.empty() && options.logs.empty()) return kExitFailure;
  options.unmatched = !unmatched.empty();
  const bool perLog = options.inPlace || options.hasSuffix;
  if (options.inPlace && options.hasSuffix) return UsageError("-i and --suffix exclude each other");
  if (outputGiven && perLog)
    return UsageError("-o and " + std::string(options.inPlace ? "-i" : "--suffix") + " exclude each other");
  if (outputGiven && options.logs.size() > 1) return UsageError("-o takes one log; use -i or --suffix for several");
  if (outputGiven && options.output.empty()) return UsageError("empty file name");
  if (options.hasSuffix && options.suffix.empty()) return UsageError("--suffix needs an extension, such as .txt");
  // The extension replaces the log's own, in the log's folder: it names
  // no other folder, and no control character goes into a file name.
  if (options.hasSuffix && options.suffix.find_first_of(kPathSeparators) != std::string::npos)
    return UsageError("--suffix needs an extension, not a path ('" + PrintableName(options.suffix) + "')");
  if (options.hasSuffix && HasControlCharacter(options.suffix))
    return UsageError("--suffix needs an extension without control characters ('" + PrintableName(options.suffix) +
                      "')");
  for (const std::string& log : options.logs) {
    if (log.empty()) return UsageError("empty file name");
    if (perLog && log == "-") return UsageError("-i and --suffix need log files, not standard input");
  }
  if (options.logs.empty()) {
    if (perLog) return UsageError("-i and --suffix need log files");
    // Typed without a log, the program would wait for the terminal in silence.
    if (platform::IsTerminal(kStandardInput)) return UsageError("no input: name a log, or pipe one in");
    options.logs.push_back("-");
  }
  return -1;
}

}  // namespace

int KestrelConvertMain(int argc, char** argv, FileSystem& fs) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  // Whether standard output is open is known before any file is opened: a
  // file opened while it is closed takes its descriptor, and would pass for
  // standard output.
  FileInfo standardOutput;
  const bool outputClosed = fs.Info(kStandardOutput, &standardOutput) != 0 && errno == EBADF;
  // -o naming standard output (/dev/stdout, /dev/fd/1) is standard output
  // as the shell opened it: written at its end when opened with >>, never
  // truncated, and refused when it is the log.
  if (!options.output.empty() && options.output != "-" && DescriptorNamed(fs, options.output) == kStandardOutput)
    options.output = "-";
  const bool perLog = options.inPlace || options.hasSuffix;
  if (!perLog && (options.output.empty() || options.output == "-") && outputClosed) {
    platform::WriteError(std::string(kProgram) + ": " +
                         IoError("standard output", 0, "closed; nothing can be written to it").what() + "\n");
    return kExitFailure;
  }

  // The route head carries from each log to the next: the logs are the
  // pieces of one routing table.
  LineRewriter rewriter;
  ConversionRun run(rewriter, fs);
  platform::CatchStopSignals();
  run.SetInterruptFlag(platform::StopSignalFlag());
  // Progress on the terminal, unless the converted text goes there too.
  const bool errorsOnTerminal = platform::IsTerminal(2), outputOnTerminal = platform::IsTerminal(kStandardOutput);
  // Each log with an output of its own is checked against the others first.
  BatchGuard guard(fs, perLog ? options.logs : std::vector<std::string>{});
  bool wroteStandardOutput = false;
  int status = options.unmatched ? kExitFailure : 0;
  for (std::size_t i = 0; i < options.logs.size(); ++i) {
    const std::string& log = options.logs[i];
    RunRequest request;
    if (log == "-")
      request.inputFile = kStandardInput;
    else
      request.inputPath = log;
    if (options.inPlace)
      request.outputPath = log;
    else if (options.hasSuffix)
      request.outputPath = OutputPathFor(log, options.suffix);
    else if (!options.output.empty() && options.output != "-")
      request.outputPath = options.output;
    else
      request.outputFile = kStandardOutput;
    // In place only when asked for: --suffix never writes over the log.
    request.inPlace = !options.hasSuffix;
    std::string refusal = perLog ? guard.Refusal(i, request.outputPath) : "";
    FileInfo info;
    // Nothing is made beside a name that stands for an open file or a device
    // (/dev/stdin), even when it leads to a log.
    if (refusal.empty() && options.hasSuffix &&
        ((fs.PathInfo(log, &info) == 0 && info.kind != FileKind::Regular) || InSystemFolder(fs, log)))
      refusal = PrintableName(log) + ": not a log file; --suffix writes beside log files only";
    if (!refusal.empty()) {
      platform::WriteError(std::string(kProgram) + ": " + refusal + "\n");
      status = kExitFailure;
      continue;
    }
    RunResult result;
    {
      TerminalProgress progress(errorsOnTerminal && (request.outputFile == kNoFile || !outputOnTerminal),
                                log == "-" ? "standard input" : log);
      result = run.ExecuteSinglePass(request, [&](const Progress& p) { progress(p); });
    }
    wroteStandardOutput = wroteStandardOutput || request.outputFile != kNoFile;
    if (result.status == RunStatus::Interrupted) {
      status = platform::StopSignalExitStatus();
      break;
    }
    if (result.status == RunStatus::Failed && result.errorNumber == EPIPE && request.outputFile != kNoFile) {
      status = kExitClosedOutput;  // an ordinary end in a pipe: nothing to say
      break;
    }
    if (result.status == RunStatus::Finished && perLog) guard.Written(i, request.outputPath);
    if (result.status != RunStatus::Finished) {
      const char* hint = result.errorNumber == kErrorOutputIsLog ? " (-i converts a log in place)" : "";
      platform::WriteError(std::string(kProgram) + ": " + result.error + hint + "\n");
      status = kExitFailure;
    }
  }
  // A write error may show only when standard output is closed (a full
  // disk that allocates late, a network file system): checked as cat does.
  if (wroteStandardOutput && status != kExitClosedOutput && fs.Close(kStandardOutput) != 0 && errno != EBADF) {
    platform::WriteError(std::string(kProgram) + ": " + IoError("standard output", errno).what() + "\n");
    status = status ? status : kExitFailure;
  }
  // The signals stay caught until the program ends: one that comes after
  // the last log was converted changes nothing, and the status tells so.
  return status;
}

}  // namespace kestrel
