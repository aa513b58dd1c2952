#include "win_sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

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
constexpr off_t kMaxFileSize = 1 << 20;

// A section name no settings file holds; see Store::Parse.
const std::string kEndMark = "\x01" "end of file" "\x01";

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
Found ReadSettings(const std::string& path, std::string& bytes, struct stat& info) {
  bytes.clear();
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? Found::kNoFile : Found::kUnusable;
  if (!S_ISREG(info.st_mode) || info.st_size > kMaxFileSize) return Found::kUnusable;
  // The name may have been given to another file since it was looked at; a
  // FIFO put there meanwhile does not block the open, and is refused.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Found::kUnusable;
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  char buffer[4096];
  while (ok) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
    ok = bytes.size() <= static_cast<std::size_t>(kMaxFileSize);
  }
  ::close(fd);
  return ok ? Found::kFile : Found::kUnusable;
}

bool WriteBytes(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// The permissions a newly created file gets. The program is single-threaded,
// so briefly changing the umask to read it is harmless.
mode_t NewFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Replaces `target` by a file holding `content`. The new file is written
// beside it and flushed to disk before it takes the old one's place, so the old
// settings stay whole until the new ones are. `old` describes the file being
// replaced, whose owner and permissions the new one takes; null when there is
// none yet. False, with nothing changed, when any step fails.
bool ReplaceFile(const std::string& target, const std::string& content, const struct stat* old) {
  std::string temp = target + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // The owner before the mode, as a change of owner clears set-id bits.
  if (old && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Only an administrator may give a file away; the owner stays who writes.
  }
  bool ok = WriteBytes(fd, content) && ::fchmod(fd, old ? (old->st_mode & 07777) : NewFileMode()) == 0 &&
            ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
#ifdef _WIN32
  // The C runtime's rename refuses an existing target on Windows, which would
  // keep every save after the first one from landing.
  ok = ok && ::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
#endif
  if (!ok) ::unlink(temp.c_str());
  return ok;
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

void PutIniString(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value) {
  if (file.empty()) return;

  // A settings file reached through a symbolic link is replaced where it
  // really lives, so the link stays.
  std::error_code error;
  std::string target = file;
  if (std::filesystem::is_symlink(file, error)) {
    target = std::filesystem::canonical(file, error).string();
    if (error) return;
  }

  std::string bytes;
  struct stat old {};
  Found found = ReadSettings(target, bytes, old);
  if (found == Found::kUnusable) return;
  if (found == Found::kFile && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) return;

  Store ini;
  if (!ini.Parse(bytes)) return;
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
    if (at == std::string::npos) return;
    bytes.replace(at, EndOfLine(bytes, at) - at, line);
  } else if (place.section) {
    // The key goes below the section's last key, or below its header.
    std::size_t at = ini.Place(place.lastKey ? place.lastKey : place.section);
    if (at == std::string::npos) return;
    std::size_t end = EndOfLine(bytes, at), next = NextLine(bytes, end);
    bytes.insert(next, (next == end ? eol : "") + key + "=" + line + eol);
  } else {
    // An unfinished last line is ended first; a file of nothing but the UTF-8
    // signature (an empty file saved by Notepad) has no line to end.
    if (!bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r' && bytes != "\xEF\xBB\xBF") bytes += eol;
    bytes += "[" + section + "]" + eol + key + "=" + line + eol;
  }
  ReplaceFile(target, bytes, found == Found::kFile ? &old : nullptr);
}

std::string GetIniString(const std::string& file, const std::string& section, const std::string& key) {
  std::string bytes;
  struct stat info {};
  Store ini;
  if (ReadSettings(file, bytes, info) != Found::kFile || !ini.Parse(bytes)) return "";
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
