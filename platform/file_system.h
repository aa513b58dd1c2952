#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace kestrel {

// An open file: a descriptor on POSIX systems, a HANDLE on Windows, where
// 0, 1 and 2 stand for the standard handles as they do on POSIX.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Reasons of our own for a failed operation, beside the system's error
// numbers (errno values). ErrorText gives the text of either.
inline constexpr int kErrorReservedName = 10001;  // NUL, CON, COM1, ... on Windows
inline constexpr int kErrorInUse = 10002;         // opened by another program without sharing (Windows)
inline constexpr int kErrorChanged = 10003;       // the name no longer names the file expected there
inline constexpr int kErrorHalfReplaced = 10004;  // the old file gone, the new one still under its own name
inline constexpr int kErrorOutputIsLog = 10005;   // the output is the log, and in place was not asked for
inline constexpr int kErrorSystem = 0x40000000;   // plus a Windows error code that no errno value names

// For the operations that take a folder: the current folder, in which a name
// may also be a relative or absolute path.
inline constexpr FileHandle kCurrentFolder = -100;

enum class FileKind { Regular, Directory, Pipe, Other };

// What identifies a file whatever path names it: device and inode, or on
// Windows the volume serial number and the file index.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool known = false;
  bool volumeKnown = true;  // false when only the index is known (Wine, for some files)
};

// Whether two open files may be one and the same. An identity that could not
// be established counts as the same file, so that the caller takes the safe
// way (writing beside the file and replacing it) rather than truncating it.
// Files with different indexes differ, whatever their volumes.
inline bool MaybeSameFile(const FileIdentity& a, const FileIdentity& b) {
  return !a.known || !b.known || (a.index == b.index && (a.volume == b.volume || !a.volumeKnown || !b.volumeKnown));
}
// Whether two files are known to be one and the same.
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) { return a.known && b.known && MaybeSameFile(a, b); }

struct FileInfo {
  FileKind kind = FileKind::Other;
  std::uint64_t size = 0;
  std::uint64_t links = 1;
  FileIdentity identity;
  // When the file last changed: its status change time on POSIX systems (a
  // write, a new name, new permissions), its last write on Windows. In the
  // system's own units, only to be compared.
  std::int64_t changeTime = 0;
  // Permissions, owner and group. On Windows the permissions are 0666, or
  // 0444 for a read-only file, as the C runtime shows them; owner and group 0.
  std::uint32_t mode = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
};

// The file operations a conversion run and the settings store perform. Each
// fails by returning kNoFile or -1 with the reason in errno (on Windows, the
// system's error mapped to the nearest errno value or one of the reasons
// above). Paths are bytes: the system's encoding on POSIX, UTF-8 on Windows.
// A test puts a wrapper in front of one to fail chosen operations.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens a file for reading. Opening a named pipe does not wait for its
  // writer: reads then fail with EAGAIN until data comes (see WaitReadable).
  virtual FileHandle OpenRead(const std::string& path);
  // Opens a folder, following links, for the operations below that take
  // one: its names go on meaning its own entries even when the path that led
  // to it is renamed or swapped for a link meanwhile.
  virtual FileHandle OpenFolder(FileHandle folder, const std::string& path);
  // Opens a file for writing, following a link, creating the file when
  // missing (`created` tells whether it did) and truncating nothing. The
  // reader of a named pipe is not waited for: EAGAIN until one has come.
  virtual FileHandle OpenWrite(FileHandle folder, const std::string& name, bool* created);
  // Creates a new file readable and writable by its owner only; fails with
  // EEXIST when the name is taken, by a file or a link alike.
  virtual FileHandle CreateExclusive(FileHandle folder, const std::string& name);

  virtual std::int64_t Read(FileHandle file, void* buffer, std::size_t size);
  // Writes what it can; on a pipe opened by OpenWrite, EAGAIN when it is full.
  virtual std::int64_t Write(FileHandle file, const void* buffer, std::size_t size);
  // Waits up to `milliseconds` for data on a pipe: 1 ready, 0 not yet.
  virtual int WaitReadable(FileHandle file, int milliseconds);
  // Waits up to `milliseconds` for room in a pipe: 1 ready, 0 not yet.
  virtual int WaitWritable(FileHandle file, int milliseconds);
  // Back to the start of the file.
  virtual int Rewind(FileHandle file);
  // Cuts the file to nothing.
  virtual int Truncate(FileHandle file);
  // Writes the file's data through to the disk.
  virtual int Flush(FileHandle file);
  virtual int Close(FileHandle file);
  virtual int Info(FileHandle file, FileInfo* info);
  // The file a path leads to, links followed.
  virtual int PathInfo(const std::string& path, FileInfo* info);
  // The entry itself: a link, not the file it leads to.
  virtual int EntryInfo(FileHandle folder, const std::string& name, FileInfo* info);
  // The path a symbolic link holds; "" with EINVAL when the entry is no link.
  virtual std::string LinkTarget(FileHandle folder, const std::string& name);

  // Gives `file`, a replacement being written, the owner, group and
  // permissions of the open file `original` (owner first, so that a set-id
  // bit survives), and on POSIX exactly its extended attributes (so its
  // access control lists): none that the original lacks. Fails with EPERM
  // when the owner or group cannot be kept.
  virtual int CopyOwnership(FileHandle file, FileHandle original);
  // Puts `from` in the place of `to`, both in `folder`, in one step, provided
  // that `to` is still the file `expected`; otherwise fails with
  // kErrorChanged and leaves both as they were. An unknown `expected` takes
  // any file's place, or an empty one. Where the system exchanged the two,
  // the old file is left under `from`, for the caller to remove.
  virtual int Replace(FileHandle folder, const std::string& from, const std::string& to, const FileIdentity& expected);
  virtual int Remove(FileHandle folder, const std::string& name);
  // Makes a folder, the owner's and, as the umask allows, everyone's; fails
  // with EEXIST when the name is taken.
  virtual int MakeFolder(FileHandle folder, const std::string& name);
  // Makes the folder's entries (a rename) durable.
  virtual int FlushFolder(FileHandle folder);
  // The system's own file operations.
  static FileSystem& System();
};

// An open file that is closed on every way out of its scope, a thrown
// exception included. A file only read is left to the destructor; one whose
// close may still fail to write is closed with Close(), which says how that
// went. Release() hands the file over, to be closed by whoever takes it.
class OwnedFile {
 public:
  OwnedFile(FileSystem& fs, FileHandle file) : fs_(fs), file_(file) {}
  OwnedFile(const OwnedFile&) = delete;
  OwnedFile& operator=(const OwnedFile&) = delete;
  ~OwnedFile() {
    if (file_ != kNoFile) fs_.Close(file_);
  }

  FileHandle Get() const { return file_; }
  FileHandle Release() { return std::exchange(file_, kNoFile); }
  // As FileSystem::Close: 0, or -1 with the reason in errno. The file counts
  // as closed either way; with none held, 0.
  int Close() { return file_ == kNoFile ? 0 : fs_.Close(Release()); }

 private:
  FileSystem& fs_;
  FileHandle file_;
};

// Path helpers: "/" separates folders, and "\" as well on Windows.
std::string JoinPath(const std::string& dir, const std::string& name);
std::string DirectoryOf(const std::string& path);
std::string BaseName(const std::string& path);
// Makes the folder `path` and those missing on the way to it; 0 when it is
// there already.
int MakeFolders(FileSystem& fs, const std::string& path);
// The file name cut to at most `bytes`; on Windows, whose names are UTF-8
// here, never inside a character.
std::string ShortenedName(const std::string& name, std::size_t bytes);

// The text for an errno value or one of the reasons above, in the
// messages' language.
std::string ErrorText(int error);

// The language of the programs' messages: of ErrorText's reasons and of the
// phrases InLanguage picks. English, the command-line programs' language,
// unless a program (the window's) sets Japanese as it starts. In Japanese,
// the system's reasons are its own Japanese texts: on Windows in the user's
// language, from the system; elsewhere the C library's, under a Japanese
// locale of their own, whatever the user's.
enum class Language { English, Japanese };
void SetMessageLanguage(Language language);
Language MessageLanguage();
inline const char* InLanguage(const char* english, const char* japanese) {
  return MessageLanguage() == Language::Japanese ? japanese : english;
}

}  // namespace kestrel
