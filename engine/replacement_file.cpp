#include "replacement_file.h"

#include <cerrno>

#include "block_io.h"
#include "platform.h"

namespace kestrel {
namespace {

constexpr std::uint32_t kAttempts = 4096;
// The longest file name most file systems take, in bytes.
constexpr std::size_t kMaxNameLength = 255;

}  // namespace

FileHandle CreateNumbered(FileSystem& fs, const std::function<std::string(std::uint32_t)>& nameFor, std::uint32_t first,
                          std::string& chosen) {
  for (std::uint32_t n = 0; n < kAttempts; ++n) {
    const std::string candidate = nameFor(first + n);
    const FileHandle file = fs.CreateExclusive(candidate);
    if (file == kNoFile && errno == EEXIST) continue;
    if (file == kNoFile) throw IoError(candidate, errno);
    chosen = candidate;
    return file;
  }
  throw IoError(nameFor(first), EEXIST);
}

void ReplacementFile::Create(const std::string& target, const FileInfo* original, const std::string& userName) {
  Discard();
  target_ = target;
  userName_ = userName;
  const std::string dir = DirectoryOf(target);
  const std::string prefix = ".kestrel-" + std::to_string(platform::ProcessId()) + "-";
  // Room for the dot, the prefix, a number of up to four digits and ".tmp".
  const std::string name = ShortenedName(BaseName(target), kMaxNameLength - (1 + prefix.size() + 4 + 4));
  try {
    file_ = CreateNumbered(
        fs_, [&](std::uint32_t n) { return JoinPath(dir, "." + name + prefix + std::to_string(n) + ".tmp"); }, 0,
        path_);
  } catch (const IoError& e) {
    if (e.Error() == EACCES || e.Error() == EPERM || e.Error() == EROFS)
      throw IoError(userName, 0,
                    "cannot be replaced: its folder " + PrintableName(dir.empty() ? "." : dir) +
                        " cannot be written (" + ErrorText(e.Error()) + ")");
    throw IoError(userName, e.Error());
  }
  if (original && fs_.CopyOwnership(file_, *original, target) != 0) {
    const int error = errno;
    Discard();
    throw IoError(userName, 0,
                  error == EPERM ? "cannot be replaced keeping its owner and group (" + ErrorText(error) + ")"
                                 : "cannot be replaced keeping its permissions (" + ErrorText(error) + ")");
  }
}

void ReplacementFile::Commit() {
  if (fs_.Flush(file_) != 0) throw IoError(userName_, errno);
  const FileHandle file = file_;
  file_ = kNoFile;
  if (fs_.Close(file) != 0 && errno != EINTR) throw IoError(userName_, errno);
  if (fs_.Replace(path_, target_) != 0) throw IoError(userName_, errno);
  path_.clear();
  // Some file systems cannot flush a folder (EINVAL); only a failed write
  // of the folder to disk is an error.
  if (fs_.FlushDirectory(DirectoryOf(target_)) != 0 && errno == EIO) throw IoError(DirectoryOf(target_), errno);
}

void ReplacementFile::Discard() {
  if (file_ != kNoFile) fs_.Close(file_);
  file_ = kNoFile;
  if (!path_.empty()) fs_.Remove(path_);
  path_.clear();
}

}  // namespace kestrel
