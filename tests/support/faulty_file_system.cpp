#include "faulty_file_system.h"

#include <cerrno>

namespace kestrel::test {

bool FaultyFileSystem::Hits(Operation operation, const std::string& path) {
  const Fault& fault = faults_[operation];
  if (fault.part.empty() || path.find(fault.part) == std::string::npos) return false;
  errno = fault.error;
  return true;
}

std::int64_t FaultyFileSystem::Read(FileHandle file, void* buffer, std::size_t size) {
  Run(onRead_, paths_[file]);
  return Hits(kRead, paths_[file]) ? -1 : FileSystem::Read(file, buffer, size);
}

std::int64_t FaultyFileSystem::Write(FileHandle file, const void* buffer, std::size_t size) {
  const std::string& path = paths_[file];
  Run(onWrite_, path);
  if (!faults_[kWrite].part.empty() && path.find(faults_[kWrite].part) != std::string::npos) {
    if (writeAllowed_ == 0) {
      errno = faults_[kWrite].error;
      return -1;
    }
    if (size > writeAllowed_) size = writeAllowed_;
    writeAllowed_ -= size;
  }
  // Every write comes back one byte short, as a pipe's may, so that the
  // writers' loops are always exercised.
  return FileSystem::Write(file, buffer, size > 1 ? size - 1 : size);
}

int FaultyFileSystem::Close(FileHandle file) {
  const std::string path = paths_[file];
  paths_.erase(file);
  const int result = FileSystem::Close(file);
  return Hits(kClose, path) ? -1 : result;
}

}  // namespace kestrel::test
