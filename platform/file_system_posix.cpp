// The file system of POSIX systems.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "file_system.h"

namespace kestrel {
namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }
int Dir(FileHandle folder) { return folder == kCurrentFolder ? AT_FDCWD : Fd(folder); }

// An interrupted open returns EINTR to the caller, which checks its stop
// flag before trying again.
FileHandle OpenAt(FileHandle folder, const std::string& name, int flags, mode_t mode = 0) {
  return ::openat(Dir(folder), name.c_str(), flags | O_CLOEXEC, mode);
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
  info->changeTime = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  info->mode = st.st_mode & 07777;
  info->owner = st.st_uid;
  info->group = st.st_gid;
}

// The names of a file's extended attributes, each ended by a NUL.
bool AttributeNames(int fd, std::vector<char>& names) {
  ssize_t size = ::flistxattr(fd, nullptr, 0);
  if (size < 0 && errno == ENOTSUP) size = 0;  // a file system without them has none
  if (size < 0) return false;
  names.resize(static_cast<std::size_t>(size));
  if (size > 0 && (size = ::flistxattr(fd, names.data(), names.size())) < 0) return false;
  names.resize(static_cast<std::size_t>(size));
  return true;
}

template <typename Each>
bool ForEachName(const std::vector<char>& names, Each each) {
  for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1)
    if (!each(std::string(names.data() + at))) return false;
  return true;
}

// Security labels are the system's to give; the replacement keeps its own.
bool IsSecurityLabel(std::string_view name) { return name.substr(0, 9) == "security."; }

// Gives `to` exactly the extended attributes of `from` (access control lists
// among them): those `to` has of its own, such as a folder's default access
// control list, go first.
int CopyExtendedAttributes(int from, int to) {
  std::vector<char> theirs, ours, value;
  if (!AttributeNames(from, theirs) || !AttributeNames(to, ours)) return -1;
  const bool ok =
      ForEachName(ours,
                  [&](const std::string& name) {
                    return IsSecurityLabel(name) || ::fremovexattr(to, name.c_str()) == 0 || errno == ENODATA;
                  }) &&
      ForEachName(theirs, [&](const std::string& name) {
        const ssize_t length = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (length < 0) return false;
        value.resize(static_cast<std::size_t>(length));
        if (length > 0 && ::fgetxattr(from, name.c_str(), value.data(), value.size()) != length) return false;
        return ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0 || IsSecurityLabel(name);
      });
  return ok ? 0 : -1;
}

int Wait(FileHandle file, short event, int milliseconds) {
  pollfd ready{Fd(file), event, 0};
  const int n = ::poll(&ready, 1, milliseconds);
  if (n < 0 && errno == EINTR) return 0;
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

// Whether the entry `name` is the file `expected`.
bool IsEntry(int dir, const std::string& name, const FileIdentity& expected) {
  struct stat st {};
  FileInfo info;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  Describe(st, &info);
  return SameFile(info.identity, expected);
}

}  // namespace

FileHandle FileSystem::OpenRead(const std::string& path) { return OpenAt(kCurrentFolder, path, O_RDONLY | O_NONBLOCK); }

FileHandle FileSystem::OpenFolder(FileHandle folder, const std::string& path) {
  return OpenAt(folder, path.empty() ? "." : path, O_RDONLY | O_DIRECTORY);
}

// Without O_NONBLOCK, opening a named pipe would wait for its reader; with it,
// a pipe or a terminal may take less than a write offers, or nothing yet.
FileHandle FileSystem::OpenWrite(FileHandle folder, const std::string& name, bool* created) {
  constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY;
  *created = false;
  FileHandle file = OpenAt(folder, name, kFlags);
  if (file == kNoFile && errno == ENOENT) {
    file = OpenAt(folder, name, kFlags | O_CREAT | O_EXCL, 0666);
    *created = file != kNoFile;
    // Taken meanwhile, or a link to a file still to be made: made as `>` makes it.
    if (file == kNoFile && errno == EEXIST) file = OpenAt(folder, name, kFlags | O_CREAT, 0666);
  }
  struct stat st {};
  if (file == kNoFile && errno == ENXIO)  // a named pipe that no one reads yet, or a device without a driver
    errno = ::fstatat(Dir(folder), name.c_str(), &st, 0) == 0 && S_ISFIFO(st.st_mode) ? EAGAIN : ENXIO;
  return file;
}

FileHandle FileSystem::CreateExclusive(FileHandle folder, const std::string& name) {
  return OpenAt(folder, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
}

std::int64_t FileSystem::Read(FileHandle file, void* buffer, std::size_t size) {
  return ::read(Fd(file), buffer, size);
}

std::int64_t FileSystem::Write(FileHandle file, const void* buffer, std::size_t size) {
  return ::write(Fd(file), buffer, size);
}

int FileSystem::WaitReadable(FileHandle file, int milliseconds) { return Wait(file, POLLIN, milliseconds); }
int FileSystem::WaitWritable(FileHandle file, int milliseconds) { return Wait(file, POLLOUT, milliseconds); }

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

int FileSystem::EntryInfo(FileHandle folder, const std::string& name, FileInfo* info) {
  struct stat st {};
  if (::fstatat(Dir(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  Describe(st, info);
  return 0;
}

std::string FileSystem::LinkTarget(FileHandle folder, const std::string& name) {
  std::vector<char> target(256);
  for (;;) {
    const ssize_t length = ::readlinkat(Dir(folder), name.c_str(), target.data(), target.size());
    if (length < 0) return "";
    if (static_cast<std::size_t>(length) < target.size()) return std::string(target.data(), length);
    target.resize(target.size() * 2);
  }
}

int FileSystem::CopyOwnership(FileHandle file, FileHandle original) {
  struct stat st {
  }, from{};
  if (::fstat(Fd(file), &st) != 0 || ::fstat(Fd(original), &from) != 0) return -1;
  // Owner and group first: changing them clears the set-id bits, which the
  // mode then restores.
  if ((st.st_uid != from.st_uid || st.st_gid != from.st_gid) && ::fchown(Fd(file), from.st_uid, from.st_gid) != 0) {
    errno = EPERM;
    return -1;
  }
  if (::fchmod(Fd(file), from.st_mode & 07777) != 0) return -1;
  return CopyExtendedAttributes(Fd(original), Fd(file));
}

// The two entries change places in one step, and the one now under `from`
// is checked: if it is not the file expected (another program put a file of
// its own at `to` meanwhile), they change back, and nothing is lost; if it
// is, it stays there for the caller to remove. File systems that cannot
// exchange entries check before a plain rename.
int FileSystem::Replace(FileHandle folder, const std::string& from, const std::string& to,
                        const FileIdentity& expected) {
  const int dir = Dir(folder);
  if (!expected.known) return ::renameat(dir, from.c_str(), dir, to.c_str());
  if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_EXCHANGE) == 0) {
    if (IsEntry(dir, from, expected)) return 0;
    ::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_EXCHANGE);
    errno = kErrorChanged;
    return -1;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != ENOENT) return -1;
  if (!IsEntry(dir, to, expected)) {
    errno = kErrorChanged;
    return -1;
  }
  return ::renameat(dir, from.c_str(), dir, to.c_str());
}

int FileSystem::Remove(FileHandle folder, const std::string& name) { return ::unlinkat(Dir(folder), name.c_str(), 0); }

int FileSystem::MakeFolder(FileHandle folder, const std::string& name) {
  return ::mkdirat(Dir(folder), name.c_str(), 0777);
}

int FileSystem::FlushFolder(FileHandle folder) {
  if (folder != kCurrentFolder) return ::fsync(Fd(folder));
  const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  return result;
}

FileSystem& FileSystem::System() {
  static FileSystem system;
  return system;
}

}  // namespace kestrel
