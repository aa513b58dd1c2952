#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "file_system.h"

namespace kestrel::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// A directory of its own under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the directory, or in its folder `sub`, sorted.
  std::vector<std::string> Entries(const std::string& sub = "") const;

 private:
  std::string path_;
};

// A path of the tests (UTF-8, as the engine takes it) for the standard library.
std::filesystem::path NativePath(const std::string& path);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// Whether the name is taken, by a file, a folder or a link (even a dangling one).
bool FileExists(const std::string& path);

// What only POSIX systems have; on Windows each fails, and the tests that
// need one skip there: a named pipe and an extended attribute.
bool MakeFifo(const std::string& path);
bool SetAttribute(const std::string& path, const std::string& name, const std::string& value);
std::string Attribute(const std::string& path, const std::string& name);
// How many files the process holds open (on Linux; 0 elsewhere).
int OpenFiles();

// The reading end of an anonymous pipe whose writing end stays open and
// silent, as a standard input may be; kNoFile when none can be made.
FileHandle QuietPipe();
// Closes both ends of a quiet pipe (on Windows they stay open to the end).
void CloseQuietPipe(FileHandle pipe);
// On Windows only: the file held open, as another program may hold it,
// without letting it be deleted or renamed; -1 elsewhere.
int HoldOpen(const std::string& path);
void Release(int held);

}  // namespace kestrel::test
