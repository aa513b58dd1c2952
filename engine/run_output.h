#pragma once

#include <optional>
#include <string>

#include "block_io.h"
#include "file_place.h"
#include "file_system.h"
#include "replacement_file.h"

namespace kestrel {

// Where a run writes its converted log: a file descriptor it was handed
// (standard output), a file it opens, or, when that file is the log being
// read, a replacement written beside the log that takes its place only once
// the run has finished.
//
// The output is opened once, as the run starts, in its folder held open
// from then on, and whether it is the log is decided then, on the open
// files: nothing is truncated before, and no later change of its path or of
// its folders redirects the run.
class RunOutput {
 public:
  explicit RunOutput(FileSystem& fs) : fs_(fs), replacement_(fs) {}
  ~RunOutput() { Discard(); }

  // Opens the output: `handed` when it is not kNoFile, else the file `path`
  // names, following the links the user named. `log` is the open log, which
  // `logInfo` describes and `logName` names. When the output is the log, it
  // must be a regular file, and `inPlace` must allow it. A named pipe with
  // no reader yet is waited for, `onWait` running every 100 ms; it may throw
  // to end the wait.
  void Open(const std::string& path, FileHandle handed, FileHandle log, const FileInfo& logInfo,
            const std::string& logName, bool inPlace, const WaitHook& onWait);
  // Marks the output begun, before the first line is written to it; true
  // when the output must be emptied first (see BlockWriter::Empty).
  bool Begin();

  FileHandle Handle() const {
    return replacement_.Active() ? replacement_.Handle() : handed_ != kNoFile ? handed_ : file_;
  }
  const std::string& Name() const { return name_; }
  bool InPlace() const { return replacement_.Active(); }
  // Whether the output is a regular file (which takes whole blocks at once).
  bool Regular() const { return InPlace() || info_.kind == FileKind::Regular; }

  // Ends the output of a run that reached its end, having read `logRead`
  // bytes of the log. A finished run's output is made final: closed, or in
  // place, put in the log's place, unless the log has grown or changed since
  // it was opened. An aborted run keeps the lines it wrote; a log being
  // converted in place, and an output the run had not begun to write, stay
  // as they were.
  void End(bool aborted, std::uint64_t logRead);
  // Abandons the output: a replacement is deleted, so the log stays as it
  // was, and so is a file the run created and never began to write.
  void Discard();

 private:
  void Commit(std::uint64_t logRead);

  FileSystem& fs_;
  ReplacementFile replacement_;
  std::optional<FilePlace> place_;
  FileHandle file_ = kNoFile;
  FileHandle handed_ = kNoFile;
  FileInfo info_;
  FileInfo logInfo_;  // as the log was when the run opened it
  bool created_ = false;
  bool begun_ = false;
  std::string name_;
};

}  // namespace kestrel
