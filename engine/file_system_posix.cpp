// The file system of POSIX systems.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "file_system.h"

namespace kestrel {
namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }

// An interrupted open returns EINTR to the caller, which checks its stop
// flag before trying again.
FileHandle OpenFile(const std::string& path, int flags, mode_t mode) {
  return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Directory;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FileKind::Pipe;
  return FileKind::Other;
}

void Describe(const struct stat& st, FileInfo* info) {
  info->kind = KindOf(st.st_mode);
  info->size = static_cast<std::uint64_t>(st.st_size);
  info->links = st.st_nlink;
  info->identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
  info->mode = st.st_mode & 07777;
  info->owner = st.st_uid;
  info->group = st.st_gid;
}

// Copies the extended attributes of `from` (access control lists among
// them) to the open file. A file system without them has none to copy; the
// security labels a system gives new files itself are left as given.
int CopyExtendedAttributes(const std::string& from, int to) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP ? 0 : -1;
  std::vector<char> names(static_cast<std::size_t>(size));
  if (size > 0 && (size = ::listxattr(from.c_str(), names.data(), names.size())) < 0) return -1;
  std::vector<char> value;
  for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
    const std::string name(names.data() + at);
    at += name.size() + 1;
    const ssize_t length = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
    if (length < 0) return -1;
    value.resize(static_cast<std::size_t>(length));
    if (length > 0 && ::getxattr(from.c_str(), name.c_str(), value.data(), value.size()) != length) return -1;
    if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0 &&
        std::string_view(name).substr(0, 9) != "security.")
      return -1;
  }
  return 0;
}

}  // namespace

FileHandle FileSystem::OpenRead(const std::string& path) { return OpenFile(path, O_RDONLY | O_NONBLOCK, 0); }

FileHandle FileSystem::OpenWrite(const std::string& path) {
  return OpenFile(path, O_WRONLY | O_CREAT | O_NOFOLLOW, 0666);
}

FileHandle FileSystem::CreateExclusive(const std::string& path) {
  return OpenFile(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
}

std::int64_t FileSystem::Read(FileHandle file, void* buffer, std::size_t size) {
  return ::read(Fd(file), buffer, size);
}

std::int64_t FileSystem::Write(FileHandle file, const void* buffer, std::size_t size) {
  return ::write(Fd(file), buffer, size);
}

int FileSystem::WaitReadable(FileHandle file, int milliseconds) {
  pollfd ready{Fd(file), POLLIN, 0};
  const int n = ::poll(&ready, 1, milliseconds);
  if (n < 0 && errno == EINTR) return 0;
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

int FileSystem::Rewind(FileHandle file) { return ::lseek(Fd(file), 0, SEEK_SET) == 0 ? 0 : -1; }
int FileSystem::Truncate(FileHandle file) { return ::ftruncate(Fd(file), 0); }
int FileSystem::Flush(FileHandle file) { return ::fsync(Fd(file)); }
int FileSystem::Close(FileHandle file) { return ::close(Fd(file)); }

int FileSystem::Info(FileHandle file, FileInfo* info) {
  struct stat st {};
  if (::fstat(Fd(file), &st) != 0) return -1;
  Describe(st, info);
  return 0;
}

int FileSystem::PathInfo(const std::string& path, FileInfo* info) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  Describe(st, info);
  return 0;
}

int FileSystem::CopyOwnership(FileHandle file, const FileInfo& original, const std::string& originalPath) {
  struct stat st {};
  if (::fstat(Fd(file), &st) != 0) return -1;
  // Owner and group first: changing them clears the set-id bits, which the
  // mode then restores.
  if ((st.st_uid != original.owner || st.st_gid != original.group) &&
      ::fchown(Fd(file), original.owner, original.group) != 0) {
    errno = EPERM;
    return -1;
  }
  if (::fchmod(Fd(file), original.mode) != 0) return -1;
  return CopyExtendedAttributes(originalPath, Fd(file));
}

int FileSystem::Replace(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }
int FileSystem::Remove(const std::string& path) { return ::unlink(path.c_str()); }

int FileSystem::FlushDirectory(const std::string& path) {
  const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  return result;
}

std::string FileSystem::Resolve(const std::string& path) {
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    std::string resolved(real);
    std::free(real);
    return resolved;
  }
  // A file still to be created: its folder resolved, its own name as given.
  const std::string dir = DirectoryOf(path);
  if (char* real = ::realpath(dir.empty() ? "." : dir.c_str(), nullptr)) {
    std::string resolved = JoinPath(real, BaseName(path));
    std::free(real);
    return resolved;
  }
  return path;
}

FileSystem& FileSystem::System() {
  static FileSystem system;
  return system;
}

}  // namespace kestrel
