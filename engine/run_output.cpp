#include "run_output.h"

#include <cerrno>

#include "block_io.h"

namespace kestrel {

void RunOutput::Open(const std::string& path, FileHandle handed, const FileInfo& input, const std::string& inputName,
                     const std::function<void()>& onInterrupted) {
  const bool inputIsFile = input.kind == FileKind::Regular;
  FileInfo output;
  if (handed != kNoFile) {
    name_ = "standard output";
    if (fs_.Info(handed, &output) != 0) throw IoError(name_, errno);
    // Appending the conversion to the log itself, as `>> LOG` would, is
    // refused as `cat` refuses it.
    if (inputIsFile && output.kind == FileKind::Regular && MaybeSameFile(input.identity, output.identity))
      throw IoError(inputName, 0, "input file is output file");
    handed_ = handed;
    return;
  }
  name_ = path;
  // The file the user's path led to when the run started, opened without
  // following any link put in its place meanwhile.
  const std::string& resolved = resolved_;
  while ((file_ = fs_.OpenWrite(resolved)) == kNoFile) {
    if (errno != EINTR) throw IoError(name_, errno);
    onInterrupted();  // a named pipe waiting for its reader; a stop ends the wait
  }
  if (fs_.Info(file_, &output) != 0) throw IoError(name_, errno);
  if (inputIsFile && output.kind == FileKind::Regular && MaybeSameFile(input.identity, output.identity)) {
    fs_.Close(file_);
    file_ = kNoFile;
    replacement_.Create(resolved, &output, path);
  } else if (output.kind == FileKind::Regular && fs_.Truncate(file_) != 0) {
    throw IoError(name_, errno);
  }
}

void RunOutput::Commit() {
  if (replacement_.Active()) {
    replacement_.Commit();
  } else if (file_ != kNoFile) {
    FileInfo written;
    if (fs_.Info(file_, &written) == 0 && written.links == 0)
      throw IoError(name_, 0, "the file was removed during the conversion");
    const FileHandle file = file_;
    file_ = kNoFile;
    if (fs_.Close(file) != 0 && errno != EINTR) throw IoError(name_, errno);
  }
  handed_ = kNoFile;
}

void RunOutput::Discard() {
  replacement_.Discard();
  if (file_ != kNoFile) fs_.Close(file_);
  file_ = kNoFile;
  handed_ = kNoFile;
}

}  // namespace kestrel
