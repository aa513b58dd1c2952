#include "file_place.h"

#include <cerrno>
#include <string>
#include <utility>

#include "io_error.h"

namespace kestrel {
namespace {

// As many links in a row as a POSIX system follows before it gives up.
constexpr int kMaxLinks = 40;

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
  return path.size() > 1 && (path[1] == ':' || path[0] == '\\' || path[0] == '/');
#else
  return !path.empty() && path[0] == '/';
#endif
}

}  // namespace

FilePlace::FilePlace(FileSystem& fs, const std::string& path)
    : fs_(fs), path_(path), name_(BaseName(path)), shownFolder_(DirectoryOf(path)) {
  if (name_.empty()) throw IoError(path, EISDIR);
  if (!shownFolder_.empty()) Enter(shownFolder_);
}

FilePlace::FilePlace(FilePlace&& other) noexcept
    : fs_(other.fs_),
      path_(std::move(other.path_)),
      folder_(std::exchange(other.folder_, kCurrentFolder)),
      name_(std::move(other.name_)),
      shownFolder_(std::move(other.shownFolder_)) {}

FilePlace::~FilePlace() {
  if (folder_ != kCurrentFolder) fs_.Close(folder_);
}

void FilePlace::Enter(const std::string& dir) {
  const FileHandle folder = fs_.OpenFolder(folder_, dir);
  if (folder == kNoFile) throw IoError(path_, errno);
  if (folder_ != kCurrentFolder) fs_.Close(folder_);
  folder_ = folder;
}

void FilePlace::FollowLinks() {
  for (int links = 0; FollowLink(); ++links)
    if (links == kMaxLinks) throw IoError(path_, ELOOP);
}

bool FilePlace::FollowLink() {
  const std::string target = fs_.LinkTarget(folder_, name_);
  if (target.empty()) return false;
  const std::string dir = DirectoryOf(target);
  if (!dir.empty()) {
    Enter(dir);
    shownFolder_ = IsAbsolute(dir) ? dir : JoinPath(shownFolder_, dir);
  }
  name_ = BaseName(target);
  if (name_.empty()) throw IoError(path_, EISDIR);
  return true;
}

int DescriptorNamed(FileSystem& fs, const std::string& path) {
#ifdef _WIN32
  (void)fs, (void)path;
  return -1;
#else
  // The folder of the process's descriptors, and of its thread's.
  const auto isDescriptorFolder = [&](FileHandle folder) {
    FileInfo info, own;
    if ((folder == kCurrentFolder ? fs.PathInfo(".", &info) : fs.Info(folder, &info)) != 0) return false;
    for (const char* descriptors : {"/proc/self/fd", "/proc/thread-self/fd"})
      if (fs.PathInfo(descriptors, &own) == 0 && SameFile(info.identity, own.identity)) return true;
    return false;
  };
  try {
    FilePlace place(fs, path);
    for (int links = 0; links <= kMaxLinks; ++links) {
      if (isDescriptorFolder(place.Folder())) {
        const std::string& name = place.Name();
        if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) return -1;
        return std::stoi(name);
      }
      if (!place.FollowLink()) return -1;
    }
  } catch (const IoError&) {
    // A path that leads nowhere names no descriptor; opening it tells why.
  }
  return -1;
#endif
}

bool InSystemFolder(FileSystem& fs, const std::string& path) {
#ifdef _WIN32
  (void)fs, (void)path;
  return false;
#else
  FileInfo devices, processes, folder, above;
  if (fs.PathInfo("/dev", &devices) != 0) devices = {};
  if (fs.PathInfo("/proc", &processes) != 0) processes = {};
  std::string dir = DirectoryOf(path);
  if (dir.empty()) dir.push_back('.');
  if ((!devices.identity.known && !processes.identity.known) || fs.PathInfo(dir, &folder) != 0) return false;
  // Up by "..", after the links on the way, to the root, whose ".." is
  // itself; /dev and /proc lie near the root, so a deep folder stops the look.
  for (int depth = 0; depth < 256; ++depth) {
    if (SameFile(folder.identity, devices.identity) || SameFile(folder.identity, processes.identity)) return true;
    dir = JoinPath(dir, "..");
    if (fs.PathInfo(dir, &above) != 0 || SameFile(above.identity, folder.identity)) return false;
    folder = above;
  }
  return false;
#endif
}

}  // namespace kestrel
