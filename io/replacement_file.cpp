#include "replacement_file.h"

#include <cerrno>
#include <utility>

#include "io_error.h"
#include "platform.h"

namespace kestrel {
namespace {

constexpr std::uint32_t kAttempts = 4096;
// The longest file name most file systems take, in bytes.
constexpr std::size_t kMaxNameLength = 255;

}  // namespace

FileHandle CreateNumbered(FileSystem& fs, FileHandle folder, const std::function<std::string(std::uint32_t)>& nameFor,
                          std::uint32_t first, std::string& chosen) {
  for (std::uint32_t n = 0; n < kAttempts; ++n) {
    const std::string candidate = nameFor(first + n);
    const FileHandle file = fs.CreateExclusive(folder, candidate);
    if (file == kNoFile && errno == EEXIST) continue;
    if (file == kNoFile) throw IoError(candidate, errno);
    chosen = candidate;
    return file;
  }
  throw IoError(nameFor(first), EEXIST);
}

void ReplacementFile::Create(FilePlace target, FileHandle original, const std::string& userName) {
  Discard();
  userName_ = userName;
  target_.emplace(std::move(target));
  original_ = {};
  FileInfo info;
  if (original != kNoFile && fs_.Info(original, &info) != 0) throw IoError(userName, errno);
  if (original != kNoFile) original_ = info.identity;
  const std::string prefix = ".kestrel-" + std::to_string(platform::ProcessId()) + "-";
  // Room for the dot, the prefix, a number of up to four digits and ".tmp".
  const std::string name = ShortenedName(target_->Name(), kMaxNameLength - (1 + prefix.size() + 4 + 4));
  try {
    file_ = CreateNumbered(
        fs_, target_->Folder(), [&](std::uint32_t n) { return "." + name + prefix + std::to_string(n) + ".tmp"; }, 0,
        name_);
  } catch (const IoError& e) {
    if (e.Error() == EACCES || e.Error() == EPERM || e.Error() == EROFS)
      throw IoError(userName, 0,
                    InLanguage("cannot be replaced: its folder ", "置き換えられません。フォルダー ") +
                        PrintableName(target_->ShownFolder()) +
                        InLanguage(" cannot be written (", " に書き込めません (") + ErrorText(e.Error()) + ")");
    throw IoError(userName, e.Error());
  }
  if (original != kNoFile && fs_.CopyOwnership(file_, original) != 0) {
    const int error = errno;
    Discard();
    throw IoError(userName, 0,
                  (error == EPERM ? InLanguage("cannot be replaced keeping its owner and group (",
                                               "所有者とグループを保ったままでは置き換えられません (")
                                  : InLanguage("cannot be replaced keeping its permissions (",
                                               "アクセス権を保ったままでは置き換えられません (")) +
                      ErrorText(error) + ")");
  }
}

void ReplacementFile::Commit(const FileInfo* read) {
  if (fs_.Flush(file_) != 0) throw IoError(userName_, errno);
  const FileHandle file = file_;
  file_ = kNoFile;
  if (fs_.Close(file) != 0 && errno != EINTR) throw IoError(userName_, errno);
  // Lines another program added to the log, or wrote over, since it was
  // read would be lost with it: the log stays as it now is. (Another file
  // in its place is for Replace to find.)
  FileInfo now;
  if (read && fs_.EntryInfo(target_->Folder(), target_->Name(), &now) == 0 && SameFile(now.identity, original_) &&
      (now.size != read->size || now.changeTime != read->changeTime))
    throw IoError(userName_, kErrorChanged);
  if (fs_.Replace(target_->Folder(), name_, target_->Name(), original_) != 0) {
    const int error = errno;
    if (error != kErrorHalfReplaced) throw IoError(userName_, error);
    // The old file is gone and the replacement is the only copy: it stays.
    const std::string kept = target_->Shown(std::exchange(name_, {}));
    throw IoError::Saying(PrintableName(userName_) +
                          InLanguage(" could not be put in place; the converted log is ",
                                     " を元の場所に置けませんでした。変換したログは次のファイルです: ") +
                          PrintableName(kept));
  }
  // The old content, where the names were exchanged, goes now; should it
  // fail to go, it stays under the replacement's name, a whole copy of the
  // log that the user is told of.
  const std::string old = std::exchange(name_, {});
  const int removal = fs_.Remove(target_->Folder(), old) != 0 && errno != ENOENT ? errno : 0;
  // Some file systems cannot flush a folder (EINVAL); only a failed write
  // of the folder to disk is an error, and the file is replaced by then.
  if (fs_.FlushFolder(target_->Folder()) != 0 && errno == EIO)
    throw IoError::Saying(
        PrintableName(userName_) + InLanguage(" converted, but its folder ", " は変換しましたが、フォルダー ") +
            PrintableName(target_->ShownFolder()) +
            InLanguage(" could not be flushed to disk: ", " をディスクに書き出せませんでした: ") + ErrorText(EIO),
        EIO);
  if (removal != 0)
    throw IoError::Saying(PrintableName(userName_) +
                              InLanguage(" converted; its old contents could not be removed: ",
                                         " は変換しましたが、元の内容を削除できませんでした: ") +
                              PrintableName(target_->Shown(old)) + ": " + ErrorText(removal),
                          removal);
}

void ReplacementFile::Discard() {
  if (file_ != kNoFile) fs_.Close(file_);
  file_ = kNoFile;
  if (!name_.empty()) fs_.Remove(target_->Folder(), name_);
  name_.clear();
}

}  // namespace kestrel
