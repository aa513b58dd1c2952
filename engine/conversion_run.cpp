#include "conversion_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "replacement_file.h"
#include "run_output.h"

namespace kestrel {
namespace {

constexpr std::uint64_t kLinesPerBlock = 100;

// Thrown when a signal asked the run to stop.
struct Interrupted {};
// Thrown when an abort came while the output was waiting for a pipe's reader.
struct AbortedWaiting {};

}  // namespace

// The log a run reads: a file it opens, or a descriptor it was handed.
class ConversionRun::Input {
 public:
  Input(FileSystem& fs, const RunRequest& request) : fs_(fs) {
    name = request.inputFile != kNoFile ? "standard input" : request.inputPath;
    handle = request.inputFile;
    if (handle == kNoFile) {
      // Opening a named pipe must not block before its writer comes.
      handle = owned_ = fs_.OpenRead(request.inputPath);
      if (handle == kNoFile) throw IoError(name, errno);
    }
    const int error = fs_.Info(handle, &info) != 0 ? errno : info.kind == FileKind::Directory ? EISDIR : 0;
    if (error != 0) {
      Close();  // the destructor of an object never made does not run
      throw IoError(name, error);
    }
    namedPipe = owned_ != kNoFile && info.kind == FileKind::Pipe;
  }
  ~Input() { Close(); }
  void Close() {
    if (owned_ != kNoFile) fs_.Close(owned_);
    owned_ = kNoFile;
  }

  std::string name;
  FileHandle handle = kNoFile;
  FileInfo info;
  bool namedPipe = false;

 private:
  FileSystem& fs_;
  FileHandle owned_ = kNoFile;
};

std::string Progress::Text() const {
  // Pass 1 shows nothing done yet; the total follows " /" with a blank in front.
  return std::to_string(pass == 1 ? 0 : done) + " / " + std::to_string(total);
}

std::string TempFileName(std::uint32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "Kestrel-%08X.tmp", static_cast<unsigned>(number));
  return name;
}

ConversionRun::ConversionRun(LineRewriter& rewriter, FileSystem& fs)
    : rewriter_(rewriter),
      fs_(fs),
      heartbeat_([this] { Report(false, true); }),
      interrupted_([this] { CheckInterrupt(); }),
      outputWait_([this] {
        Report(false, true);
        if (aborted_) throw AbortedWaiting{};
      }) {}

void ConversionRun::CheckInterrupt() const {
  if (interrupt_ && interrupt_->load(std::memory_order_relaxed)) throw Interrupted{};
}

void ConversionRun::Report(bool blockEnd, bool heartbeat) {
  CheckInterrupt();
  progress_.blockEnd = blockEnd;
  progress_.heartbeat = heartbeat;
  if (input_) progress_.bytesRead = input_->BytesRead();
  if (*hook_) (*hook_)(progress_);
}

void ConversionRun::Abort() {
  if (!running_) return;
  aborted_ = true;
  if (input_) input_->DiscardRest();
}

LineReader::Options ConversionRun::ReaderOptions(const RunRequest& request, bool fromLog, bool namedPipe,
                                                 FileKind kind) const {
  // The temporary copy holds no CR but those before its LFs. A file is read
  // ahead; anything else is waited on in steps before each read, standard
  // input too, so that a stop is seen however long it keeps silent.
  const bool regular = kind == FileKind::Regular;
  return {{namedPipe, !regular, regular}, /*dropEveryCr=*/fromLog, request.maxLineLength, logName_};
}

template <typename EachLine>
void ConversionRun::ForEachLine(LineReader& in, std::uint64_t& count, EachLine each) {
  input_ = &in;
  Report(false);
  std::uint64_t batch = 0;
  Line line;
  while (in.NextLine(line)) {
    each(line);
    if (++batch == kLinesPerBlock) {
      batch = 0;
      count += kLinesPerBlock;
      Report(true);
    }
  }
  count += batch;
  Report(false);
  input_ = nullptr;
}

void ConversionRun::RewriteLines(LineReader& in, BlockWriter& out) {
  ForEachLine(in, progress_.done, [&](Line& line) {
    if (line.size == 0 && in.LastLineUnended()) return;  // a lone CR after the last LF
    if (line.size + 2 + 16 <= kBlockSize) {
      char* to = out.Reserve(line.size + 2 + 16);  // a marked line's rewriting may overshoot
      rewriter_.ConvertLine({line.data, line.size}, to, line.marks);
      to[line.size] = '\r';
      to[line.size + 1] = '\n';
      out.Commit(line.size + 2);
    } else {
      // A long line is rewritten where it stands, so it is held only once.
      rewriter_.ConvertLine({line.data, line.size}, line.data);
      out.Append({line.data, line.size});
      out.AppendLineEnd();
    }
  });
}

template <typename Passes>
RunResult ConversionRun::Run(const RunRequest& request, const ProgressHook& hook, Passes passes) {
  RunResult result;
  running_ = true;
  aborted_ = false;
  hook_ = &hook;
  progress_ = {};
  logName_ = request.inputFile != kNoFile ? "standard input" : request.inputPath;
  RunOutput output(fs_);
  try {
    Input input(fs_, request);
    progress_.bytesTotal = input.info.kind == FileKind::Regular ? input.info.size : 0;
    output.Open(request.outputPath, request.outputFile, input.handle, input.info, input.name, request.inPlace,
                outputWait_);
    logRead_ = 0;
    passes(input, output, result);
    output.End(aborted_, logRead_);
    result.status = aborted_ ? RunStatus::Aborted : RunStatus::Finished;
  } catch (const IoError& e) {
    result.status = RunStatus::Failed;
    result.error = e.what();
    result.errorNumber = e.Error();
  } catch (const Interrupted&) {
    result.status = RunStatus::Interrupted;
  } catch (const AbortedWaiting&) {
    result.status = RunStatus::Aborted;
  }
  input_ = nullptr;
  hook_ = nullptr;
  output.Discard();
  running_ = false;
  return result;
}

RunResult ConversionRun::ExecuteSinglePass(const RunRequest& request, const ProgressHook& hook) {
  return Run(request, hook, [&](Input& input, RunOutput& output, RunResult&) {
    progress_.pass = 2;
    LineReader in(fs_, input.handle, input.name, heartbeat_,
                  ReaderOptions(request, true, input.namedPipe, input.info.kind));
    BlockWriter out(fs_, output.Handle(), output.Name(), interrupted_, outputWait_, output.Regular());
    if (output.Begin()) out.Empty();
    RewriteLines(in, out);
    logRead_ = in.BytesRead();
    out.Flush();
  });
}

RunResult ConversionRun::Execute(const RunRequest& request, const ProgressHook& hook) {
  FileHandle temp = kNoFile;
  RunResult result = Run(request, hook, [&](Input& input, RunOutput& output, RunResult& result) {
    // The copy goes where the run needs it: beside the output, on the disk
    // the converted log goes to, else (a folder that takes no new file) in
    // the spare folder, the system's temporary one.
    const auto createIn = [&](const std::string& dir) {
      try {
        return CreateNumbered(
            fs_, kCurrentFolder, [&](std::uint32_t n) { return JoinPath(dir, TempFileName(n)); }, request.tempNumber,
            result.tempPath);
      } catch (const IoError& e) {
        throw IoError::Saying(InLanguage("temporary copy ", "一時コピー ") + std::string(e.what()), e.Error());
      }
    };
    try {
      temp = createIn(request.tempDir);
    } catch (const IoError&) {
      if (request.spareTempDir.empty() || request.spareTempDir == request.tempDir) throw;
      temp = createIn(request.spareTempDir);
    }
    // Its errors name it as what it is, so that the full disk is known.
    const std::string tempName = InLanguage("temporary copy ", "一時コピー ") + result.tempPath;

    // Pass 1: the log into the temporary copy with normalised line ends.
    progress_.pass = 1;
    {
      LineReader in(fs_, input.handle, input.name, heartbeat_,
                    ReaderOptions(request, true, input.namedPipe, input.info.kind));
      BlockWriter out(fs_, temp, tempName, interrupted_, {}, true);
      ForEachLine(in, progress_.total, [&](const Line& line) {
        const bool ended = !in.LastLineUnended();
        if (!line.marks.comma || line.size + 2 + 16 > kBlockSize) {
          out.Append({line.data, line.size});
          if (ended) out.AppendLineEnd();
          return;
        }
        // A marked line may be read beyond its end: copied sixteen bytes at
        // a time into the room the writer keeps.
        char* to = out.Reserve(line.size + 2 + 16);
        for (std::size_t i = 0; i < line.size; i += 16) std::memcpy(to + i, line.data + i, 16);
        to[line.size] = '\r', to[line.size + 1] = '\n';
        out.Commit(line.size + (ended ? 2 : 0));
      });
      logRead_ = in.BytesRead();
      out.Flush();
    }
    input.Close();
    if (aborted_) return;

    // Pass 2: the copy, line by line, through the rewriter into the output.
    progress_.pass = 2;
    if (fs_.Rewind(temp) != 0) throw IoError(tempName, errno);
    LineReader in(fs_, temp, tempName, heartbeat_, ReaderOptions(request, false, false, FileKind::Regular));
    BlockWriter out(fs_, output.Handle(), output.Name(), interrupted_, outputWait_, output.Regular());
    if (output.Begin()) out.Empty();
    RewriteLines(in, out);
    out.Flush();
  });
  if (temp != kNoFile) fs_.Close(temp);
  // A copy someone else already deleted is as good as deleted.
  if (!result.tempPath.empty() && fs_.Remove(kCurrentFolder, result.tempPath) != 0 && errno != ENOENT &&
      result.status != RunStatus::Failed) {
    const int error = errno;
    result.error = result.status == RunStatus::Finished
                       ? PrintableName(logName_) +
                             InLanguage(" converted; the temporary copy ", " は変換しましたが、一時ファイル ") +
                             PrintableName(result.tempPath) +
                             InLanguage(" could not be deleted: ", " を削除できませんでした: ") + ErrorText(error)
                       : IoError(result.tempPath, error).what();
    result.errorNumber = error;
    result.status = RunStatus::Failed;
  }
  return result;
}

}  // namespace kestrel
