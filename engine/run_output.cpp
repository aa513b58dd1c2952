#include "run_output.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace kestrel {

void RunOutput::Open(const std::string& path, FileHandle handed, FileHandle log, const FileInfo& logInfo,
                     const std::string& logName, bool inPlace, const WaitHook& onWait) {
  const bool logIsFile = logInfo.kind == FileKind::Regular;
  if (handed != kNoFile) {
    name_ = "standard output";
    if (fs_.Info(handed, &info_) != 0) throw IoError(name_, errno);
    // Appending the conversion to the log itself, as `>> LOG` would, is
    // refused as `cat` refuses it.
    if (logIsFile && info_.kind == FileKind::Regular && MaybeSameFile(logInfo.identity, info_.identity))
      throw IoError(logName, 0, InLanguage("input file is output file", "入力ファイルと出力ファイルが同じです"));
    handed_ = handed;
    return;
  }
  name_ = path;
  FilePlace place(fs_, path);
  while ((file_ = fs_.OpenWrite(place.Folder(), place.Name(), &created_)) == kNoFile) {
    if (errno != EAGAIN) throw IoError(name_, errno);
    onWait();  // a named pipe with no reader yet
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (fs_.Info(file_, &info_) != 0) throw IoError(name_, errno);
  const bool isLog =
      (logIsFile && info_.kind == FileKind::Regular && MaybeSameFile(logInfo.identity, info_.identity)) ||
      SameFile(logInfo.identity, info_.identity);
  if (!isLog) {
    place_.emplace(std::move(place));
    return;
  }
  fs_.Close(std::exchange(file_, kNoFile));
  // A pipe or a device cannot be written beside and replaced, and the run
  // would read back what it writes.
  if (!logIsFile)
    throw IoError(logName, 0,
                  InLanguage("not a regular file, so it cannot be converted in place",
                             "通常のファイルではないので、その場では変換できません"));
  if (!inPlace) throw IoError(logName, kErrorOutputIsLog);
  place.FollowLinks();
  logInfo_ = logInfo;
  replacement_.Create(std::move(place), log, path);
}

bool RunOutput::Begin() {
  begun_ = file_ != kNoFile;
  return begun_ && info_.kind == FileKind::Regular;
}

void RunOutput::End(bool aborted, std::uint64_t logRead) {
  if (aborted && (InPlace() || (handed_ == kNoFile && !begun_)))
    Discard();
  else
    Commit(logRead);
}

void RunOutput::Commit(std::uint64_t logRead) {
  if (replacement_.Active()) {
    FileInfo read = logInfo_;
    read.size = logRead;
    replacement_.Commit(&read);
  } else if (file_ != kNoFile) {
    FileInfo written;
    if (fs_.Info(file_, &written) == 0 && written.links == 0)
      throw IoError(name_, 0, InLanguage("the file was removed during the conversion", "変換中に削除されました"));
    if (fs_.Close(std::exchange(file_, kNoFile)) != 0 && errno != EINTR) throw IoError(name_, errno);
  }
  handed_ = kNoFile;
}

void RunOutput::Discard() {
  replacement_.Discard();
  if (file_ != kNoFile) fs_.Close(std::exchange(file_, kNoFile));
  // A file the run made and left empty goes again, unless another has
  // taken its name meanwhile.
  FileInfo entry;
  if (created_ && !begun_ && place_ && fs_.EntryInfo(place_->Folder(), place_->Name(), &entry) == 0 &&
      SameFile(entry.identity, info_.identity))
    fs_.Remove(place_->Folder(), place_->Name());
  created_ = false;
  handed_ = kNoFile;
}

}  // namespace kestrel
