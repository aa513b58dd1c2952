#include "win_sys.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "block_io.h"
#include "replacement_file.h"

// The packaged SimpleIni keeps its implementation behind SI_IMPLEMENTATION and
// would otherwise pull in a UTF-8 converter; the settings are plain bytes.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace kestrel::WinSys {
namespace {

// Bytes in and out, ASCII-case-insensitive section and key names.
using Ini = CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

// A settings file is a few lines; anything larger is not one.
constexpr std::uint64_t kMaxFileSize = 1 << 20;

// A section name no settings file holds; see Store::Parse.
const std::string kEndMark =
    "\x01"
    "end of file"
    "\x01";

// The settings file as SimpleIni reads it, with the place in the file of what
// it finds, so that a write can change that one line and nothing else.
class Store : public Ini {
 public:
  // Every line is an entry of its own, and a key that appears twice is kept
  // twice, so that the first occurrence can be told from the others.
  Store() : Ini(/*a_bIsUtf8=*/false, /*a_bMultiKey=*/true, /*a_bAllowMultiLine=*/false) {
    SetUnicode(false);
    SetQuotes(false);  // quotes stay in the value; GetIniString drops them
  }

  // Parses the file's bytes, which must outlive the store; false if they are
  // not all read (SimpleIni stops at a NUL byte).
  bool Parse(const std::string& bytes) {
    // SimpleIni parses a copy of the bytes in place and hands out pointers into
    // it. A marker section after the last line gives a known place in that
    // copy, from which the place of every other name and value follows.
    if (bytes.find(kEndMark) != std::string::npos || LoadData(bytes + "\n[" + kEndMark + "]\n") < 0) return false;
    TNamesDepend sections;
    GetAllSections(sections);
    for (const auto& section : sections) {
      if (kEndMark == section.pItem) mark_ = section.pItem;
    }
    bytes_ = &bytes;
    return mark_ != nullptr;
  }

  // Where `text`, a name or value the store handed out, begins in the file;
  // npos if it is not a piece of the file.
  std::size_t Place(const char* text) const {
    std::size_t markAt = bytes_->size() + 2;
    std::size_t before = reinterpret_cast<std::uintptr_t>(mark_) - reinterpret_cast<std::uintptr_t>(text);
    std::size_t length = std::strlen(text);
    if (before > markAt || markAt - before + length > bytes_->size()) return std::string::npos;
    std::size_t at = markAt - before;
    return bytes_->compare(at, length, text) == 0 ? at : std::string::npos;
  }

  // What the Windows store goes by: the section's name in its first header,
  // the first occurrence of the key in it, and the section's last key.
  struct Setting {
    const char* section = nullptr;
    const char* key = nullptr;
    const char* value = nullptr;
    const char* lastKey = nullptr;
  };
  Setting Find(const std::string& section, const std::string& key) const {
    Setting found;
    SI_NoCase<char> less;
    TNamesDepend sections;
    GetAllSections(sections);
    for (const auto& entry : sections) {
      if (!less(entry.pItem, section.c_str()) && !less(section.c_str(), entry.pItem)) found.section = entry.pItem;
    }
    const TKeyVal* keys = GetSection(section.c_str());
    if (!keys) return found;
    int first = 0, last = 0;
    for (const auto& [entry, value] : *keys) {
      bool same = !less(entry.pItem, key.c_str()) && !less(key.c_str(), entry.pItem);
      if (same && (!found.key || entry.nOrder < first)) {
        found.key = entry.pItem, found.value = value, first = entry.nOrder;
      }
      if (!found.lastKey || entry.nOrder > last) found.lastKey = entry.pItem, last = entry.nOrder;
    }
    return found;
  }

 private:
  const std::string* bytes_ = nullptr;
  const char* mark_ = nullptr;
};

enum class Found { kNoFile, kFile, kUnusable };

// Reads the settings file. Anything but a regular file of at most
// kMaxFileSize bytes is unusable: a FIFO would block, a device never end.
Found ReadSettings(FileSystem& fs, const std::string& path, std::string& bytes, FileInfo& info) {
  bytes.clear();
  if (fs.PathInfo(path, &info) != 0) return errno == ENOENT ? Found::kNoFile : Found::kUnusable;
  if (info.kind != FileKind::Regular || info.size > kMaxFileSize)
    return errno = info.kind == FileKind::Directory ? EISDIR : EINVAL, Found::kUnusable;
  // The name may have been given to another file since it was looked at; a
  // FIFO put there meanwhile does not block the open, and is refused.
  const OwnedFile file(fs, fs.OpenRead(path));
  if (file.Get() == kNoFile) return Found::kUnusable;
  bool ok = fs.Info(file.Get(), &info) == 0 && info.kind == FileKind::Regular;
  char buffer[4096];
  while (ok) {
    const std::int64_t got = fs.Read(file.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
    ok = bytes.size() <= kMaxFileSize;
  }
  return ok ? Found::kFile : Found::kUnusable;
}

// Replaces the settings file `path` by a file holding `content`, written
// beside it and flushed to disk before it takes the old one's place, so the
// old settings stay whole until the new ones are. A file reached through a
// symbolic link is replaced where it really lives, so the link stays. When
// `exists`, the new file takes the old one's owner and permissions. Nothing
// changes when any step fails.
bool ReplaceFile(FileSystem& fs, const std::string& path, const std::string& content, bool exists) {
  const FileHandle old = exists ? fs.OpenRead(path) : kNoFile;
  if (exists && old == kNoFile) return false;
  bool replaced = false;
  int error = 0;
  try {
    FilePlace target(fs, path);
    target.FollowLinks();
    ReplacementFile replacement(fs);
    replacement.Create(std::move(target), old, path);
    BlockWriter out(fs, replacement.Handle(), path);
    out.Append(content);
    out.Flush();
    replacement.Commit();
    replaced = true;
  } catch (const IoError& e) {
    // A setting that cannot be saved is not saved; the old file stays. A
    // reason of our own is a folder or a file that cannot be written.
    error = e.Error() != 0 ? e.Error() : EACCES;
  }
  if (old != kNoFile) fs.Close(old);
  if (!replaced) errno = error;
  return replaced;
}

// The end of the line that holds `at`: the place of its CR or LF, or the end.
std::size_t EndOfLine(const std::string& bytes, std::size_t at) {
  std::size_t end = bytes.find_first_of("\r\n", at);
  return end == std::string::npos ? bytes.size() : end;
}

// The beginning of the line after the one that ends at `end`.
std::size_t NextLine(const std::string& bytes, std::size_t end) {
  if (bytes.compare(end, 2, "\r\n") == 0) return end + 2;
  return end < bytes.size() ? end + 1 : end;
}

// The value with a pair of matching enclosing quotes removed.
std::string WithoutQuotes(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

bool PutIniString(const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                  FileSystem& fs) {
  if (file.empty()) return errno = ENOENT, false;

  std::string bytes;
  FileInfo old;
  Found found = ReadSettings(fs, file, bytes, old);
  if (found == Found::kUnusable) return false;
  // A read-only settings file is left as the user made it.
  if (found == Found::kFile && (old.mode & 0222) == 0) return errno = EACCES, false;

  Store ini;
  if (!ini.Parse(bytes)) return errno = EINVAL, false;
  Store::Setting place = ini.Find(section, key);

  // New lines end as the file's first line does; CR LF in a new file, as the
  // Windows store writes them.
  std::size_t firstEnd = bytes.find_first_of("\r\n");
  const std::string eol = firstEnd != std::string::npos && bytes[firstEnd] == '\n' ? "\n" : "\r\n";
  std::string line = CutAtNull(value);
  line = line.substr(0, line.find_first_of("\r\n"));

  if (place.key) {
    // The value of the key's first occurrence, up to its line end, is replaced.
    std::size_t at = ini.Place(place.value);
    if (at == std::string::npos) return errno = EINVAL, false;
    bytes.replace(at, EndOfLine(bytes, at) - at, line);
  } else if (place.section) {
    // The key goes below the section's last key, or below its header.
    std::size_t at = ini.Place(place.lastKey ? place.lastKey : place.section);
    if (at == std::string::npos) return errno = EINVAL, false;
    std::size_t end = EndOfLine(bytes, at), next = NextLine(bytes, end);
    bytes.insert(next, (next == end ? eol : "") + key + "=" + line + eol);
  } else {
    // An unfinished last line is ended first; a file of nothing but the UTF-8
    // signature (an empty file saved by Notepad) has no line to end.
    if (!bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r' && bytes != "\xEF\xBB\xBF") bytes += eol;
    bytes += "[" + section + "]" + eol + key + "=" + line + eol;
  }
  return ReplaceFile(fs, file, bytes, found == Found::kFile);
}

std::string GetIniString(const std::string& file, const std::string& section, const std::string& key, FileSystem& fs) {
  std::string bytes;
  FileInfo info;
  Store ini;
  if (ReadSettings(fs, file, bytes, info) != Found::kFile || !ini.Parse(bytes)) return "";
  const char* stored = ini.Find(section, key).value;
  if (!stored) return "";
  return CutAtNull(WithoutQuotes(stored).substr(0, kMaxValueLength));
}

std::string CutAtNull(const std::string& s) { return s.substr(0, s.find('\0')); }

bool ReadsAsTrue(const std::string& value) {
  std::string upper = value;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper == "TRUE";
}

}  // namespace kestrel::WinSys
