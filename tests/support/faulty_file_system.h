#pragma once

#include <functional>
#include <map>
#include <string>

#include "file_system.h"

namespace kestrel::test {

// The system's file operations, except that chosen ones fail as a sick disk
// or a full file system would make them fail. Each fault names a part of the
// path it hits; an action runs before each read or write of a matching file
// ("" matches every file): the world changing during a run.
class FaultyFileSystem : public FileSystem {
 public:
  enum Operation { kOpen, kRead, kWrite, kFlush, kClose, kInfo, kRemove, kReplace, kOwnership, kCount };

  // `operation` on a path containing `part` fails with `error`; a write
  // fails once `allowed` bytes have been written.
  void Fail(Operation operation, const std::string& part, int error, std::size_t allowed = 0) {
    faults_[operation] = {part, error};
    writeAllowed_ = allowed;
  }
  void OnRead(const std::string& part, std::function<void()> action) { onRead_ = {part, std::move(action)}; }
  void OnWrite(const std::string& part, std::function<void()> action) { onWrite_ = {part, std::move(action)}; }

  FileHandle OpenRead(const std::string& path) override {
    return Hits(kOpen, path) ? kNoFile : Track(path, FileSystem::OpenRead(path));
  }
  FileHandle OpenWrite(const std::string& path) override {
    return Hits(kOpen, path) ? kNoFile : Track(path, FileSystem::OpenWrite(path));
  }
  FileHandle CreateExclusive(const std::string& path) override {
    return Hits(kOpen, path) ? kNoFile : Track(path, FileSystem::CreateExclusive(path));
  }
  std::int64_t Read(FileHandle file, void* buffer, std::size_t size) override;
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t size) override;
  int Flush(FileHandle file) override { return Hits(kFlush, paths_[file]) ? -1 : FileSystem::Flush(file); }
  int Close(FileHandle file) override;
  int Info(FileHandle file, FileInfo* info) override {
    return Hits(kInfo, paths_[file]) ? -1 : FileSystem::Info(file, info);
  }
  int CopyOwnership(FileHandle file, const FileInfo& original, const std::string& path) override {
    return Hits(kOwnership, path) ? -1 : FileSystem::CopyOwnership(file, original, path);
  }
  int Replace(const std::string& from, const std::string& to) override {
    return Hits(kReplace, to) ? -1 : FileSystem::Replace(from, to);
  }
  int Remove(const std::string& path) override { return Hits(kRemove, path) ? -1 : FileSystem::Remove(path); }

 private:
  struct Fault {
    std::string part;
    int error = 0;
  };
  struct Action {
    std::string part;
    std::function<void()> run;
  };
  // Whether the operation fails on the path; errno is set when it does.
  bool Hits(Operation operation, const std::string& path);
  FileHandle Track(const std::string& path, FileHandle file) {
    if (file != kNoFile) paths_[file] = path;
    return file;
  }
  static void Run(const Action& action, const std::string& path) {
    if (action.run && path.find(action.part) != std::string::npos) action.run();
  }

  Fault faults_[kCount];
  std::map<FileHandle, std::string> paths_;
  Action onRead_, onWrite_;
  std::size_t writeAllowed_ = 0;
};

}  // namespace kestrel::test
