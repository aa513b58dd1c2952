#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "block_io.h"
#include "file_system.h"
#include "line_reader.h"
#include "line_rewriter.h"

namespace kestrel {

// Where a run stands, as shown on the Convert button while it runs.
struct Progress {
  int pass = 1;                  // 1: copying the log, 2: rewriting its lines
  std::uint64_t done = 0;        // lines rewritten so far (0 in pass 1)
  std::uint64_t total = 0;       // lines counted so far (pass 1), all lines (pass 2); 0 in a single pass
  bool blockEnd = false;         // true at the end of each block of 100 lines, the moment to pump events
  bool heartbeat = false;        // nothing new to show, but a moment to pump events: the
                                 // run is reading a long line or waiting for a pipe
  std::uint64_t bytesRead = 0;   // of the log, in a single pass
  std::uint64_t bytesTotal = 0;  // the log's size, when it is a file of known size

  // "0 / 250" in pass 1; "100 / 250" in pass 2.
  std::string Text() const;
};

struct RunRequest {
  std::string inputPath;                         // the log to convert, unless inputFile is given
  FileHandle inputFile = kNoFile;                // an already open input (standard input); left open
  std::string outputPath;                        // the converted log, unless outputFile is given
  FileHandle outputFile = kNoFile;               // an already open output (standard output); left open
  std::string tempDir;                           // directory of the temporary copy; "" for the current directory
  std::uint32_t tempNumber = 0;                  // first number tried in the temporary copy's name
  std::uint64_t maxLineLength = kMaxLineLength;  // longest line accepted, CRs not counted
  bool inPlace = true;                           // the output may be the log, converted in place;
                                                 // false refuses it (kErrorOutputIsLog)
  std::string spareTempDir = {};                 // the temporary copy's directory when tempDir takes no new file
};

enum class RunStatus { Finished, Aborted, Failed, Interrupted };

struct RunResult {
  RunStatus status = RunStatus::Failed;
  std::string error;     // "file: reason" when the run failed
  int errorNumber = 0;   // the system's reason (errno value), 0 for a reason of our own
  std::string tempPath;  // the temporary copy the run used (deleted again)
};

// "Kestrel-0000ABCD.tmp": the temporary copy's file name for a number.
std::string TempFileName(std::uint32_t number);

// One conversion of a log, in one of two ways.
//
// Execute, for the window, works in two passes. Pass 1 copies the input into
// a temporary file of its own, dropping every CR and ending every line with
// CR LF, and counts its lines; pass 2 reads that copy line by line through
// the LineRewriter into the output. ExecuteSinglePass, for the command line,
// reads the log once and rewrites each line as it goes, with the same line
// splitting and the same rewriter, so both give the same bytes.
//
// The output is opened as the run starts. When it is the input log (the same
// file, whatever path names it), the converted log is written beside it and
// replaces it only when the run finishes, so an abort or a failure leaves
// the log as it was.
//
// Every 100 lines, and at the start and end of each pass, the progress hook
// runs. Abort() may be called from inside the hook: the rest of the input is
// skipped, the pass ends at its next check, and an abort in pass 1 skips
// pass 2. The temporary copy is deleted at the end of every run.
class ConversionRun {
 public:
  using ProgressHook = std::function<void(const Progress&)>;

  explicit ConversionRun(LineRewriter& rewriter, FileSystem& fs = FileSystem::System());
  ConversionRun(const ConversionRun&) = delete;
  ConversionRun& operator=(const ConversionRun&) = delete;

  RunResult Execute(const RunRequest& request, const ProgressHook& hook = {});
  RunResult ExecuteSinglePass(const RunRequest& request, const ProgressHook& hook = {});

  // Skips the rest of the running pass's input at once, without reading it.
  // Does nothing between runs.
  void Abort();

  // A flag a signal handler sets, on any thread: once it is non-zero the run
  // stops at its next check (at the latest after 100 lines, a block, 100 ms
  // of waiting or an interrupted write), cleans up as after a failure, and
  // ends as Interrupted.
  void SetInterruptFlag(const std::atomic<int>* flag) { interrupt_ = flag; }

 private:
  class Input;
  template <typename Passes>
  RunResult Run(const RunRequest& request, const ProgressHook& hook, Passes passes);
  void CheckInterrupt() const;
  void Report(bool blockEnd, bool heartbeat = false);
  // How a pass reads: the log (`fromLog`) or the temporary copy, a file of
  // the kind given.
  LineReader::Options ReaderOptions(const RunRequest& request, bool fromLog, bool namedPipe, FileKind kind) const;
  // Hands each line of `in` to `each`, counting them in `count` and
  // reporting every 100.
  template <typename EachLine>
  void ForEachLine(LineReader& in, std::uint64_t& count, EachLine each);
  void RewriteLines(LineReader& in, BlockWriter& out);

  LineRewriter& rewriter_;
  FileSystem& fs_;
  // While reading a long line or waiting for a pipe, the caller still gets
  // its moments to pump events; a write a signal cut short checks for a
  // stop; an output pipe that takes nothing ends the run on an abort.
  const WaitHook heartbeat_;
  const WaitHook interrupted_;
  const WaitHook outputWait_;
  const ProgressHook* hook_ = nullptr;
  const std::atomic<int>* interrupt_ = nullptr;
  LineReader* input_ = nullptr;  // the running pass's input
  Progress progress_;
  std::string logName_;
  std::uint64_t logRead_ = 0;  // bytes of the log read, for the check before it is replaced
  bool running_ = false;
  bool aborted_ = false;
};

}  // namespace kestrel
