#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "file_place.h"
#include "file_system.h"

namespace kestrel {

// Creates a new file in `folder` under the first free name that `nameFor`
// gives for the numbers first, first + 1, ...: a name in use (left behind by
// a crash, say) is skipped. `chosen` receives the name taken. Throws IoError
// naming `nameFor(first)` when no name is free or the file cannot be created.
FileHandle CreateNumbered(FileSystem& fs, FileHandle folder, const std::function<std::string(std::uint32_t)>& nameFor,
                          std::uint32_t first, std::string& chosen);

// A file written beside another and put in its place in one step once it is
// complete, so that whoever reads the file sees the old content or the new,
// never a mixture, and a failure on the way leaves the old file as it was.
// It keeps the old file's owner, group, permissions and extended
// attributes; when the owner and group cannot be kept, nothing is replaced.
// If another program has put a file of its own in the old one's place
// meanwhile, or written to the old one since it was read, that file stays
// and nothing is replaced.
class ReplacementFile {
 public:
  explicit ReplacementFile(FileSystem& fs) : fs_(fs) {}
  ~ReplacementFile() { Discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the replacement of the file at `target` (its links followed),
  // named `.NAME.kestrel-PID-N.tmp` in the same folder and shortened to fit
  // the file system's limit on names. `original` is the file being
  // replaced, open, or kNoFile when there is none yet. `userName` is how
  // errors name the file.
  void Create(FilePlace target, FileHandle original, const std::string& userName);
  FileHandle Handle() const { return file_; }
  bool Active() const { return file_ != kNoFile; }

  // Flushes the replacement to disk, closes it, puts it in the place of the
  // target and makes the change durable. `read`, when given, is the
  // original as it was read, whole: a target of another size or changed
  // since is not replaced (kErrorChanged).
  void Commit(const FileInfo* read = nullptr);
  // Deletes the replacement; the target stays as it was.
  void Discard();

 private:
  FileSystem& fs_;
  std::optional<FilePlace> target_;
  FileHandle file_ = kNoFile;
  std::string name_;  // in the target's folder; empty when there is nothing to delete
  FileIdentity original_;
  std::string userName_;
};

}  // namespace kestrel
