#pragma once

#include <functional>
#include <string>

#include "file_system.h"
#include "replacement_file.h"

namespace kestrel {

// Where a run writes its converted log: a file descriptor it was handed
// (standard output), a file it opens, or, when that file is the log being
// read, a replacement written beside the log that takes its place only once
// the run has finished.
//
// Whether the output is the log is decided on the open files, never on a
// path: the output is opened without truncating it and without following a
// link swapped in after its path was resolved, and is truncated only once it
// is known to be another file.
class RunOutput {
 public:
  explicit RunOutput(FileSystem& fs) : fs_(fs), replacement_(fs) {}
  ~RunOutput() { Discard(); }

  // Resolves the links in the output's path, as the run starts: the links
  // the user named are followed, none that is put in their place later.
  void Resolve(const std::string& path) {
    if (!path.empty()) resolved_ = fs_.Resolve(path);
  }
  // Opens the output named by `path` (resolved before), or takes over
  // `handed` when it is not kNoFile. `input` describes the open log, `inputName` names it;
  // `onInterrupted` runs when a signal interrupted a blocked open.
  void Open(const std::string& path, FileHandle handed, const FileInfo& input, const std::string& inputName,
            const std::function<void()>& onInterrupted);

  FileHandle Handle() const {
    return replacement_.Active() ? replacement_.Handle() : handed_ != kNoFile ? handed_ : file_;
  }
  const std::string& Name() const { return name_; }
  bool InPlace() const { return replacement_.Active(); }

  // Makes the written output final: closes it, and in place replaces the log.
  void Commit();
  // Abandons the output: a replacement is deleted, so the log stays as it was.
  void Discard();

 private:
  FileSystem& fs_;
  ReplacementFile replacement_;
  FileHandle file_ = kNoFile;
  FileHandle handed_ = kNoFile;
  std::string name_;
  std::string resolved_;
};

}  // namespace kestrel
