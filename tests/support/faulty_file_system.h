#pragma once

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "file_system.h"

namespace kestrel::test {

// The system's file operations, except that a chosen one fails, as a sick
// disk or a full file system would make it fail, on the files whose path
// holds a given part. An action can run before each read or flush of a
// file: the world changing during a run.
class FaultyFileSystem : public FileSystem {
 public:
  enum Operation {
    kNone,
    kOpen,
    kRead,
    kWrite,
    kFlush,
    kClose,
    kInfo,
    kRemove,
    kReplace,
    kOwnership,
    kFlushFolder,
    kTruncate,
    kMakeFolder
  };

  // `operation` on a path holding `part` fails with `error`; a write fails
  // once `allowed` bytes have been written (writes nothing, without `error`).
  void Fail(Operation operation, const std::string& part, int error, std::size_t allowed = 0) {
    operation_ = operation, part_ = part, error_ = error, allowed_ = allowed;
  }
  void OnRead(const std::string& part, std::function<void()> action) { readPart_ = part, onRead_ = std::move(action); }
  void OnFlush(const std::string& part, std::function<void()> action) {
    flushPart_ = part, onFlush_ = std::move(action);
  }

  FileHandle OpenRead(const std::string& path) override {
    return Hits(kOpen, path) ? kNoFile : Track(path, FileSystem::OpenRead(path));
  }
  FileHandle OpenFolder(FileHandle folder, const std::string& path) override {
    return Track(In(folder, path), FileSystem::OpenFolder(folder, path));
  }
  FileHandle OpenWrite(FileHandle folder, const std::string& name, bool* created) override {
    return Hits(kOpen, In(folder, name)) ? kNoFile
                                         : Track(In(folder, name), FileSystem::OpenWrite(folder, name, created));
  }
  FileHandle CreateExclusive(FileHandle folder, const std::string& name) override {
    return Hits(kOpen, In(folder, name)) ? kNoFile : Track(In(folder, name), FileSystem::CreateExclusive(folder, name));
  }
  std::int64_t Read(FileHandle file, void* buffer, std::size_t size) override {
    if (onRead_ && PathOf(file).find(readPart_) != std::string::npos) onRead_();
    return Hits(kRead, PathOf(file)) ? -1 : FileSystem::Read(file, buffer, size);
  }
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t size) override {
    if (Matches(kWrite, PathOf(file))) {
      if (allowed_ == 0) return error_ ? (errno = error_, -1) : (errno = EAGAIN, 0);
      size = std::min(size, allowed_);
      allowed_ -= size;
    }
    // Every write comes back one byte short, as a pipe's may, so that the
    // writers' loops are always exercised.
    return FileSystem::Write(file, buffer, size > 1 ? size - 1 : size);
  }
  int Flush(FileHandle file) override {
    if (onFlush_ && PathOf(file).find(flushPart_) != std::string::npos) onFlush_();
    return Hits(kFlush, PathOf(file)) ? -1 : FileSystem::Flush(file);
  }
  int Close(FileHandle file) override {
    const std::string path = PathOf(file);
    Locked([&] { paths_.erase(file); });
    const int result = FileSystem::Close(file);
    return Hits(kClose, path) ? -1 : result;
  }
  int Info(FileHandle file, FileInfo* info) override {
    return Hits(kInfo, PathOf(file)) ? -1 : FileSystem::Info(file, info);
  }
  int Truncate(FileHandle file) override { return Hits(kTruncate, PathOf(file)) ? -1 : FileSystem::Truncate(file); }
  int CopyOwnership(FileHandle file, FileHandle original) override {
    return Hits(kOwnership, PathOf(original)) ? -1 : FileSystem::CopyOwnership(file, original);
  }
  int Replace(FileHandle folder, const std::string& from, const std::string& to,
              const FileIdentity& expected) override {
    return Hits(kReplace, In(folder, to)) ? -1 : FileSystem::Replace(folder, from, to, expected);
  }
  int Remove(FileHandle folder, const std::string& name) override {
    return Hits(kRemove, In(folder, name)) ? -1 : FileSystem::Remove(folder, name);
  }
  int MakeFolder(FileHandle folder, const std::string& name) override {
    return Hits(kMakeFolder, In(folder, name)) ? -1 : FileSystem::MakeFolder(folder, name);
  }
  int FlushFolder(FileHandle folder) override {
    return Hits(kFlushFolder, PathOf(folder)) ? -1 : FileSystem::FlushFolder(folder);
  }

 private:
  bool Matches(Operation operation, const std::string& path) const {
    return operation == operation_ && path.find(part_) != std::string::npos;
  }
  // Whether the operation fails on the path; errno is set when it does.
  bool Hits(Operation operation, const std::string& path) { return Matches(operation, path) && (errno = error_, true); }
  // The files' paths, shared with the threads that read ahead and write behind.
  FileHandle Track(const std::string& path, FileHandle file) {
    if (file != kNoFile) Locked([&] { paths_[file] = path; });
    return file;
  }
  std::string PathOf(FileHandle file) {
    std::string path;
    Locked([&] { path = paths_.count(file) ? paths_.at(file) : ""; });
    return path;
  }
  template <typename Action>
  void Locked(Action action) {
    const std::lock_guard<std::mutex> lock(*mutex_);
    action();
  }
  // The path of a name in a folder.
  std::string In(FileHandle folder, const std::string& name) {
    return folder == kCurrentFolder ? name : JoinPath(PathOf(folder), name);
  }

  Operation operation_ = kNone;
  std::string part_, readPart_, flushPart_;
  int error_ = 0;
  std::size_t allowed_ = 0;
  std::function<void()> onRead_, onFlush_;
  std::map<FileHandle, std::string> paths_;
  std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();
};

}  // namespace kestrel::test
