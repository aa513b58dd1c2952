#include "win_sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// A section name no settings file holds; see PutIniString.
const std::string kEndMark = "\x01" "end of file" "\x01";

// A store for one call. Every line is an entry of its own (no multi-line
// values); `keepDuplicateKeys` keeps every occurrence of a key, in file order.
class Store : public Ini {
 public:
  explicit Store(bool keepDuplicateKeys) : Ini(/*a_bIsUtf8=*/false, keepDuplicateKeys, /*a_bAllowMultiLine=*/false) {
    SetUnicode(false);
    SetSpaces(false);  // key=value, as the Windows store writes it
    SetQuotes(false);  // quotes stay in the file; GetIniString drops them
  }
};

// Reads the whole file; false if it cannot be opened or read.
bool ReadBytes(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return got == 0;
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

// Replaces `target` with `content` through a temporary file beside it. `old`
// describes the file being replaced, or is null when there is none yet.
void ReplaceFile(const std::string& target, const std::string& content, const struct stat* old) {
  std::string temp = target + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return;
  bool ok = WriteBytes(fd, content);
  ok = ok && ::fchmod(fd, old ? (old->st_mode & 07777) : NewFileMode()) == 0;
  if (ok && old && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Only an administrator may give a file away; the owner stays who writes.
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) ::unlink(temp.c_str());
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

  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return;
  std::string bytes;
  if (exists) {
    bool readOnly = (old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0;
    if (!S_ISREG(old.st_mode) || readOnly || !ReadBytes(target, bytes)) return;
  }

  // SimpleIni keeps each comment with the entry below it and drops one that
  // has none. A marker section after the file's last line holds the comment
  // that ends the file, so that it can be put back after saving.
  Store ini(/*keepDuplicateKeys=*/false);
  if (ini.LoadData(bytes + "\n[" + kEndMark + "]\n") < 0) return;
  std::string endComment;
  Ini::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const auto& entry : sections) {
    if (kEndMark == entry.pItem && entry.pComment) endComment = std::string(entry.pComment) + "\n";
  }
  ini.Delete(kEndMark.c_str(), nullptr);

  std::string line = CutAtNull(value);
  line = line.substr(0, line.find_first_of("\r\n"));
  if (ini.SetValue(section.c_str(), key.c_str(), line.c_str()) < 0) return;

  std::string saved;
  if (ini.Save(saved, /*a_bAddSignature=*/true) < 0) return;  // the signature only if the file had one
  saved += endComment;

  // A file written with CR LF line ends keeps them.
  if (bytes.find("\r\n") != std::string::npos) {
    std::string crlf;
    for (char c : saved) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    saved.swap(crlf);
  }
  ReplaceFile(target, saved, exists ? &old : nullptr);
}

std::string GetIniString(const std::string& file, const std::string& section, const std::string& key) {
  std::string bytes;
  if (!ReadBytes(file, bytes)) return "";
  // A key that appears twice in a section reads as its first occurrence.
  Store ini(/*keepDuplicateKeys=*/true);
  if (ini.LoadData(bytes) < 0) return "";
  const char* stored = ini.GetValue(section.c_str(), key.c_str(), nullptr);
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
