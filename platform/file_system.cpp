#include "file_system.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "win32_text.h"
#else
#include <locale.h>
#include <string.h>
#endif

namespace kestrel {
namespace {

// The first is the one JoinPath puts in.
#ifdef _WIN32
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return std::strchr(kSeparators, dir.back()) ? dir + name : dir + kSeparators[0] + name;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return "";
#ifdef _WIN32
  // "C:\x.log" lies in the root of C:, not in C:'s current folder.
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
#endif
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

int MakeFolders(FileSystem& fs, const std::string& path) {
  FileInfo info;
  if (path.empty() || fs.PathInfo(path, &info) == 0) return 0;
  const std::string parent = DirectoryOf(path);
  if (parent != path && MakeFolders(fs, parent) != 0) return -1;
  return fs.MakeFolder(kCurrentFolder, path) == 0 || errno == EEXIST ? 0 : -1;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ShortenedName(const std::string& name, std::size_t bytes) {
  if (name.size() <= bytes) return name;
  std::size_t end = bytes;
#ifdef _WIN32
  // Back to the first byte of a character (no UTF-8 continuation byte).
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
#endif
  return name.substr(0, end);
}

std::string ErrorText(int error) {
  if (error == kErrorReservedName) return InLanguage("a device name, not a file", "ファイルではなくデバイスの名前です");
  if (error == kErrorInUse) return InLanguage("in use by another program", "ほかのプログラムが使用中です");
  if (error == kErrorChanged)
    return InLanguage("changed by another program during the conversion; left as it is",
                      "変換中にほかのプログラムが変更したため、そのままにしました");
  if (error == kErrorHalfReplaced) return InLanguage("could not be put in place", "元の場所に置けませんでした");
  if (error == kErrorOutputIsLog)
    return InLanguage("not converted, the output is the log itself", "出力先がログそのものなので変換しませんでした");
#ifdef _WIN32
  if (error & kErrorSystem) return win32::SystemErrorText(static_cast<unsigned long>(error & ~kErrorSystem));
  // In Japanese, every reason is the system's own text in the user's language.
  if (const unsigned long code = win32::SystemErrorOf(error); code != 0 && MessageLanguage() == Language::Japanese)
    return win32::SystemErrorText(code);
  // The Windows C runtime has no text of its own for these.
  if (error == ELOOP) return "Too many levels of symbolic links";
  if (error == EAGAIN) return InLanguage("Resource temporarily unavailable", "一時的に利用できません");
#else
  if (MessageLanguage() == Language::Japanese) {
    // The C library's Japanese texts (Debian's libc-l10n, with the locale
    // from locales-all); English where they are missing.
    static const locale_t japanese = ::newlocale(LC_ALL_MASK, "ja_JP.UTF-8", static_cast<locale_t>(nullptr));
    if (japanese) return ::strerror_l(error, japanese);
  }
#endif
  return std::strerror(error);
}

namespace {
std::atomic<Language> messageLanguage = Language::English;
}  // namespace

void SetMessageLanguage(Language language) { messageLanguage = language; }
Language MessageLanguage() { return messageLanguage.load(); }

}  // namespace kestrel
