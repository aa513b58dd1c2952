#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include "block_io.h"
#include "file_system.h"
#include "line_rewriter.h"

namespace kestrel {

// Where a run stands, as shown on the Convert button while it runs.
struct Progress {
  int pass = 1;             // 1: copying the log, 2: rewriting its lines
  std::uint64_t done = 0;   // lines rewritten so far (0 in pass 1)
  std::uint64_t total = 0;  // lines counted so far (pass 1), all lines (pass 2)
  bool blockEnd = false;    // true at the end of each block of 100 lines, the moment to pump events
  bool heartbeat = false;   // nothing new to show, but a moment to pump events: the
                            // run is reading a long line or waiting for a pipe

  // "0 / 250" in pass 1; "100 / 250" in pass 2.
  std::string Text() const;
};

struct RunRequest {
  std::string inputPath;  // the log to convert, unless inputFd is given
  int inputFd = -1;       // an already open input (standard input); left open
  std::string outputPath; // the converted log, unless outputFd is given
  int outputFd = -1;      // an already open output (standard output); left open
  std::string fdInputName = "standard input";
  std::string fdOutputName = "standard output";
  std::string tempDir;    // directory of the temporary copy; "" for the current directory
  std::uint32_t tempNumber = 0;  // first number tried in the temporary copy's name
};

enum class RunStatus { Finished, Aborted, Failed, Interrupted };

struct RunResult {
  RunStatus status = RunStatus::Failed;
  std::string error;       // "file: reason" when the run failed
  std::uint64_t total = 0; // lines counted in pass 1
  std::uint64_t done = 0;  // lines written in pass 2
  std::string tempPath;    // the temporary copy the run used (deleted again)
};

// "Kestrel-0000ABCD.tmp": the temporary copy's file name for a number.
std::string TempFileName(std::uint32_t number);

// One conversion of a log, in two passes. Pass 1 copies the input into a
// temporary file of its own, dropping every CR and ending every line with
// CR LF; pass 2 reads that copy line by line through the LineRewriter into the
// output. Because the log is copied first, the output may be the log itself:
// the converted log is then written beside it and replaces it only when the
// run finishes, so an abort or a failure leaves the log as it was.
//
// Every 100 lines, and at the start and end of each pass, the progress hook
// runs. Abort() may be called from inside the hook: the rest of the input is
// skipped, the pass ends at its next check, and an abort in pass 1 skips
// pass 2. The temporary copy is deleted at the end of every run.
class ConversionRun {
 public:
  using ProgressHook = std::function<void(const Progress&)>;

  explicit ConversionRun(LineRewriter& rewriter, FileSystem& fs = FileSystem::Posix());

  RunResult Execute(const RunRequest& request, const ProgressHook& hook = {});

  // Skips the rest of the running pass's input at once, without reading it.
  // Does nothing between runs.
  void Abort();

  // A flag a signal handler sets: once it is non-zero the run stops at its
  // next check (at the latest after 100 lines, a block or 100 ms of waiting),
  // cleans up as after a failure, and ends as Interrupted.
  void SetInterruptFlag(const volatile std::sig_atomic_t* flag) { interrupt_ = flag; }

 private:
  void CheckInterrupt() const;
  void Report(const Progress& progress);
  void CopyNormalised(BlockReader& in, BlockWriter& out, RunResult& result);
  void RewriteLines(BlockReader& in, BlockWriter& out, RunResult& result);

  LineRewriter& rewriter_;
  FileSystem& fs_;
  const ProgressHook* hook_ = nullptr;
  const volatile std::sig_atomic_t* interrupt_ = nullptr;
  BlockReader* input_ = nullptr;  // the running pass's input
  int pass_ = 1;
  bool running_ = false;
  bool aborted_ = false;
};

}  // namespace kestrel
