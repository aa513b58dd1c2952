#include "conversion_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kestrel {
namespace {

constexpr std::uint64_t kLinesPerBlock = 100;
constexpr int kTempAttempts = 4096;

// Thrown when a signal asked the run to stop.
struct Interrupted {};

// Closes a descriptor the run opened, unless it was handed back already.
class OwnedFd {
 public:
  explicit OwnedFd(FileSystem& fs) : fs_(fs) {}
  ~OwnedFd() { Reset(); }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;

  int Get() const { return fd_; }
  void Set(int fd) { fd_ = fd; }
  // Closes and reports a failure, for files whose last writes must not be lost.
  void CloseChecked(const std::string& name) {
    const int fd = fd_;
    fd_ = -1;
    if (fs_.Close(fd) != 0 && errno != EINTR) throw IoError(name, errno);
  }
  void Reset() {
    if (fd_ >= 0) fs_.Close(fd_);
    fd_ = -1;
  }

 private:
  FileSystem& fs_;
  int fd_ = -1;
};

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where pass 2 writes. Normally the output file itself, truncated. When the
// output is the input log (the same file, whatever path names it), a new file
// beside the log that replaces it only once the run has finished.
class Output {
 public:
  explicit Output(FileSystem& fs) : fs_(fs), fd_(fs) {}
  ~Output() { Discard(); }

  void Open(const RunRequest& request, const struct stat& input, bool inputIsFile) {
    if (request.outputFd >= 0) {
      name_ = request.fdOutputName;
      borrowedFd_ = request.outputFd;
      return;
    }
    name_ = request.outputPath;
    struct stat existing{};
    if (inputIsFile && fs_.Stat(request.outputPath, &existing) == 0 && S_ISREG(existing.st_mode) &&
        existing.st_dev == input.st_dev && existing.st_ino == input.st_ino) {
      OpenReplacement(request.outputPath, existing);
      return;
    }
    const int fd = fs_.Open(request.outputPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw IoError(name_, errno);
    fd_.Set(fd);
  }

  int Fd() const { return borrowedFd_ >= 0 ? borrowedFd_ : fd_.Get(); }
  bool InPlace() const { return !replacement_.empty(); }
  const std::string& Name() const { return name_; }

  // Makes the written output final: closes it, and in place replaces the log.
  void Commit() {
    if (borrowedFd_ >= 0) return;
    if (!replacement_.empty() && fs_.Fsync(fd_.Get()) != 0) throw IoError(name_, errno);
    struct stat written{};
    if (fs_.Fstat(fd_.Get(), &written) == 0 && written.st_nlink == 0)
      throw IoError(name_, 0, "the file was removed during the conversion");
    fd_.CloseChecked(name_);
    if (!replacement_.empty()) {
      if (fs_.Rename(replacement_, target_) != 0) throw IoError(name_, errno);
      replacement_.clear();
    }
  }

  // Abandons the output: a replacement is deleted, so the log stays as it was.
  void Discard() {
    fd_.Reset();
    if (!replacement_.empty()) fs_.Unlink(replacement_);
    replacement_.clear();
  }

 private:
  void OpenReplacement(const std::string& path, const struct stat& log) {
    // Replace the file a symbolic link points to, not the link.
    char resolved[PATH_MAX];
    target_ = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    const std::string dir = DirectoryOf(target_);
    std::string base = ".";
    base.append(BaseName(target_)).append(".kestrel-").append(std::to_string(::getpid())).append("-");
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
      std::string candidate = base;
      candidate.append(std::to_string(attempt)).append(".tmp");
      candidate = JoinPath(dir, candidate);
      const int fd = fs_.Open(candidate, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) throw IoError(name_, errno);
      fd_.Set(fd);
      replacement_ = candidate;
      // The converted log keeps the permissions and, where allowed, the owner of the log.
      if (fs_.Fchmod(fd, log.st_mode & 07777) != 0) throw IoError(name_, errno);
      if (::fchown(fd, log.st_uid, log.st_gid) != 0) {
        // Only the superuser may give a file away; the log's mode is kept regardless.
      }
      return;
    }
    throw IoError(name_, EEXIST);
  }

  FileSystem& fs_;
  OwnedFd fd_;
  int borrowedFd_ = -1;
  std::string name_;
  std::string target_;       // the log's real path, in place only
  std::string replacement_;  // the file written beside it, in place only
};

}  // namespace

std::string Progress::Text() const {
  // Pass 1 shows nothing done yet; the total follows " /" with a blank in front.
  return std::to_string(pass == 1 ? 0 : done) + " / " + std::to_string(total);
}

std::string TempFileName(std::uint32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "Kestrel-%08X.tmp", static_cast<unsigned>(number));
  return name;
}

ConversionRun::ConversionRun(LineRewriter& rewriter, FileSystem& fs) : rewriter_(rewriter), fs_(fs) {}

void ConversionRun::CheckInterrupt() const {
  if (interrupt_ && *interrupt_) throw Interrupted{};
}

void ConversionRun::Report(const Progress& progress) {
  CheckInterrupt();
  if (*hook_) (*hook_)(progress);
}

void ConversionRun::Abort() {
  if (!running_) return;
  aborted_ = true;
  if (input_) input_->DiscardRest();
}

void ConversionRun::CopyNormalised(BlockReader& in, BlockWriter& out, RunResult& result) {
  std::uint64_t batch = 0;
  std::uint64_t lineLength = 0;
  bool lineOpen = false;  // bytes of a line without its LF have been read
  auto report = [&](bool blockEnd) { Report(Progress{1, 0, result.total, blockEnd}); };
  report(false);
  for (std::string_view data = in.Available(); !data.empty(); data = in.Available()) {
    const char* const begin = data.data();
    const char* const end = begin + data.size();
    // The copy equals the log except where a CR is dropped or a CR is put
    // before a bare LF: bytes between such places are copied in one piece.
    const char* run = begin;
    const bool hasCr = std::memchr(begin, '\r', data.size()) != nullptr;
    const char* p = begin;
    while (p < end) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
      const char* stop = lf ? lf : end;
      lineLength += stop - p;
      if (lineLength > kMaxLineLength) throw LineTooLong(in.Name());
      if (hasCr) {
        for (const char* cr = p; (cr = static_cast<const char*>(std::memchr(cr, '\r', stop - cr))) != nullptr; ++cr) {
          if (cr + 1 == lf) break;  // CR LF stays as it is
          out.Append({run, static_cast<std::size_t>(cr - run)});
          run = cr + 1;
        }
      }
      if (!lf) {
        lineOpen = lineOpen || stop > p;
        p = end;
        break;
      }
      if (lf == begin || lf[-1] != '\r') {
        out.Append({run, static_cast<std::size_t>(lf - run)});
        out.AppendLineEnd();
        run = lf + 1;
      }
      p = lf + 1;
      lineOpen = false;
      lineLength = 0;
      if (++batch == kLinesPerBlock) {
        batch = 0;
        result.total += kLinesPerBlock;
        report(true);
        if (in.Discarded()) break;
      }
    }
    out.Append({run, static_cast<std::size_t>(p - run)});
    in.Consume(p - begin);
  }
  if (lineOpen && ++batch == kLinesPerBlock) {  // a last line without a line end
    batch = 0;
    result.total += kLinesPerBlock;
    report(true);
  }
  result.total += batch;
  report(false);
}

void ConversionRun::RewriteLines(BlockReader& in, BlockWriter& out, RunResult& result) {
  std::uint64_t batch = 0;
  auto report = [&](bool blockEnd) { Report(Progress{2, result.done, result.total, blockEnd}); };
  report(false);
  std::string longLine;  // for lines too long for the output buffer
  std::string_view line;
  while (in.NextLine(line)) {
    const std::size_t size = line.size();
    if (size + 2 <= kBlockSize) {
      char* to = out.Reserve(size + 2);
      rewriter_.ConvertLine(line, to);
      to[size] = '\r';
      to[size + 1] = '\n';
      out.Commit(size + 2);
    } else {
      longLine.resize(size);
      rewriter_.ConvertLine(line, longLine.data());
      out.Append(longLine);
      out.AppendLineEnd();
    }
    if (++batch == kLinesPerBlock) {
      batch = 0;
      result.done += kLinesPerBlock;
      report(true);
    }
  }
  result.done += batch;
  report(false);
}

RunResult ConversionRun::Execute(const RunRequest& request, const ProgressHook& hook) {
  RunResult result;
  running_ = true;
  aborted_ = false;
  hook_ = &hook;
  OwnedFd input(fs_);
  OwnedFd temp(fs_);
  Output output(fs_);
  // While reading a long line or waiting for a pipe, the caller still gets
  // its moments to pump events, and a signal still stops the run.
  const WaitHook heartbeat = [this, &result] {
    Report(Progress{pass_, pass_ == 1 ? 0 : result.done, result.total, false, true});
  };
  const WaitHook interrupted = [this] { CheckInterrupt(); };
  try {
    // Pass 1: the log into a temporary copy with normalised line ends.
    const std::string inputName = request.inputFd >= 0 ? request.fdInputName : request.inputPath;
    int inputFd = request.inputFd;
    if (inputFd < 0) {
      // Opening a named pipe must not block before its writer comes.
      inputFd = fs_.Open(request.inputPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
      if (inputFd < 0) throw IoError(inputName, errno);
      input.Set(inputFd);
    }
    struct stat inputInfo{};
    if (fs_.Fstat(inputFd, &inputInfo) != 0) throw IoError(inputName, errno);
    if (S_ISDIR(inputInfo.st_mode)) throw IoError(inputName, EISDIR);
    const bool namedPipe = request.inputFd < 0 && (S_ISFIFO(inputInfo.st_mode) || S_ISSOCK(inputInfo.st_mode));

    for (std::uint32_t n = 0; n < kTempAttempts; ++n) {
      const std::string candidate = JoinPath(request.tempDir, TempFileName(request.tempNumber + n));
      const int fd = fs_.Open(candidate, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno == EEXIST) continue;  // left by another run: take the next number
      if (fd < 0) throw IoError(candidate, errno);
      temp.Set(fd);
      result.tempPath = candidate;
      break;
    }
    if (result.tempPath.empty()) throw IoError(JoinPath(request.tempDir, TempFileName(request.tempNumber)), EEXIST);

    pass_ = 1;
    {
      BlockReader in(fs_, inputFd, inputName, heartbeat, namedPipe);
      BlockWriter out(fs_, temp.Get(), result.tempPath, interrupted);
      input_ = &in;
      CopyNormalised(in, out, result);
      input_ = nullptr;
      out.Flush();
    }
    input.Reset();

    // Pass 2: the copy, line by line, through the rewriter into the output.
    if (!aborted_) {
      pass_ = 2;
      if (fs_.Seek(temp.Get(), 0, SEEK_SET) != 0) throw IoError(result.tempPath, errno);
      output.Open(request, inputInfo, S_ISREG(inputInfo.st_mode));
      BlockReader in(fs_, temp.Get(), result.tempPath, heartbeat);
      BlockWriter out(fs_, output.Fd(), output.Name(), interrupted);
      input_ = &in;
      RewriteLines(in, out, result);
      input_ = nullptr;
      out.Flush();
      // Aborted, a log being rewritten in place stays as it was; any other
      // output keeps the lines written before the abort.
      if (aborted_ && output.InPlace())
        output.Discard();
      else
        output.Commit();
    }
    result.status = aborted_ ? RunStatus::Aborted : RunStatus::Finished;
  } catch (const IoError& e) {
    result.status = RunStatus::Failed;
    result.error = e.what();
  } catch (const Interrupted&) {
    result.status = RunStatus::Interrupted;
  }
  input_ = nullptr;
  hook_ = nullptr;
  input.Reset();
  output.Discard();
  temp.Reset();
  // A copy someone else already deleted is as good as deleted.
  if (!result.tempPath.empty() && fs_.Unlink(result.tempPath) != 0 && errno != ENOENT &&
      result.status != RunStatus::Failed) {
    result.status = RunStatus::Failed;
    result.error = IoError(result.tempPath, errno).what();
  }
  running_ = false;
  return result;
}

}  // namespace kestrel
