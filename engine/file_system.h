#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace kestrel {

// The file operations a conversion run performs, as thin wrappers around the
// POSIX calls of the same names: each returns what the call returns and leaves
// errno as the call left it. A run takes one by reference, so a test can put a
// wrapper in front of it that fails chosen operations (a full disk, a read
// error) without touching the run's code.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual int Open(const std::string& path, int flags, mode_t mode);
  virtual ssize_t Read(int fd, void* buffer, size_t size);
  virtual ssize_t Write(int fd, const void* buffer, size_t size);
  virtual off_t Seek(int fd, off_t offset, int whence);
  virtual int Fsync(int fd);
  virtual int Close(int fd);
  virtual int Fstat(int fd, struct stat* info);
  virtual int Stat(const std::string& path, struct stat* info);
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Unlink(const std::string& path);
  virtual int Rename(const std::string& from, const std::string& to);

  // The system's own file operations.
  static FileSystem& Posix();
};

}  // namespace kestrel
