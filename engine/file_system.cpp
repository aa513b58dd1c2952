#include "file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace kestrel {

int FileSystem::Open(const std::string& path, int flags, mode_t mode) { return ::open(path.c_str(), flags, mode); }
ssize_t FileSystem::Read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t FileSystem::Write(int fd, const void* buffer, size_t size) { return ::write(fd, buffer, size); }
off_t FileSystem::Seek(int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); }
int FileSystem::Fsync(int fd) { return ::fsync(fd); }
int FileSystem::Close(int fd) { return ::close(fd); }
int FileSystem::Fstat(int fd, struct stat* info) { return ::fstat(fd, info); }
int FileSystem::Stat(const std::string& path, struct stat* info) { return ::stat(path.c_str(), info); }
int FileSystem::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int FileSystem::Unlink(const std::string& path) { return ::unlink(path.c_str()); }
int FileSystem::Rename(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

FileSystem& FileSystem::Posix() {
  static FileSystem posix;
  return posix;
}

}  // namespace kestrel
