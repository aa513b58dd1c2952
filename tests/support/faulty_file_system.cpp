#include "faulty_file_system.h"

#include <cerrno>

namespace kestrel::test {

int FaultyFileSystem::Open(const std::string& path, int flags, mode_t mode) {
  if (Has(path, openPart_)) {
    errno = openError_;
    return -1;
  }
  const int fd = FileSystem::Open(path, flags, mode);
  if (fd >= 0) paths_[fd] = path;
  return fd;
}

ssize_t FaultyFileSystem::Read(int fd, void* buffer, size_t size) {
  if (onRead_ && Matches(paths_[fd], onReadPart_)) onRead_();
  if (Has(paths_[fd], readPart_)) {
    errno = readError_;
    return -1;
  }
  return FileSystem::Read(fd, buffer, size);
}

ssize_t FaultyFileSystem::Write(int fd, const void* buffer, size_t size) {
  if (onWrite_ && Matches(paths_[fd], onWritePart_)) onWrite_();
  if (Has(paths_[fd], writePart_)) {
    if (writeAllowed_ == 0) {
      errno = writeError_;
      return -1;
    }
    if (size > writeAllowed_) size = writeAllowed_;
    writeAllowed_ -= size;
  }
  return FileSystem::Write(fd, buffer, size);
}

int FaultyFileSystem::Close(int fd) {
  paths_.erase(fd);
  return FileSystem::Close(fd);
}

int FaultyFileSystem::Unlink(const std::string& path) {
  if (Has(path, unlinkPart_)) {
    errno = unlinkError_;
    return -1;
  }
  return FileSystem::Unlink(path);
}

}  // namespace kestrel::test
