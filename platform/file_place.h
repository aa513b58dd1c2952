#pragma once

#include <string>

#include "file_system.h"

namespace kestrel {

// Where a file is: the folder that holds it, held open, and its name there.
// What is done through a place stays in that folder, whatever happens
// meanwhile to the path that led to it (a folder renamed, or swapped for a
// link). Names stay relative to the current folder, however long its path.
class FilePlace {
 public:
  // The place of `path`: its folder opened now, the links on the way
  // followed now, and its last part as the name. Throws IoError naming `path`.
  FilePlace(FileSystem& fs, const std::string& path);
  FilePlace(FilePlace&& other) noexcept;
  FilePlace& operator=(FilePlace&&) = delete;
  ~FilePlace();

  // Follows symbolic links at the name, as opening the file would: the
  // place becomes the file's own, in the folder of the last link's target.
  void FollowLinks();
  // Follows the one symbolic link at the name, if it is one; false when it
  // is none.
  bool FollowLink();

  FileHandle Folder() const { return folder_; }
  const std::string& Name() const { return name_; }
  // The place's folder, and a file in it, as messages name them: by the
  // path the user gave, as its links led.
  std::string ShownFolder() const { return shownFolder_.empty() ? "." : shownFolder_; }
  std::string Shown(const std::string& name) const { return JoinPath(shownFolder_, name); }

 private:
  // Holds `dir`, relative to the folder held so far, instead of it.
  void Enter(const std::string& dir);

  FileSystem& fs_;
  std::string path_;
  FileHandle folder_ = kCurrentFolder;
  std::string name_;
  std::string shownFolder_;
};

// The descriptor of this process that `path` names, as /dev/stdout,
// /dev/fd/1 and /proc/self/fd/1 name descriptor 1: the links on the way are
// followed up to the folder of the process's own descriptors. -1 when the
// path names none, as always on Windows.
int DescriptorNamed(FileSystem& fs, const std::string& path);

// Whether the entry `path` names lies within /dev or /proc, whose names stand
// for devices and for open files of processes (/dev/stdin, /proc/self/fd/0),
// never for files that something may be written beside. Decided by the
// identity of its folder and of the folders above it, whatever path leads
// there; always false on Windows.
bool InSystemFolder(FileSystem& fs, const std::string& path);

}  // namespace kestrel
