#include "test_files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#else
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>

namespace kestrel::test {

namespace fs = std::filesystem;

fs::path NativePath(const std::string& path) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

// A path of the standard library as UTF-8, as the tests name files.
static std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// A new folder under the system's temporary folder (TMPDIR when it is set).
ScratchDir::ScratchDir() {
  static std::mt19937 random{std::random_device{}()};
  const fs::path path = fs::temp_directory_path() / ("kestrel-test-" + std::to_string(random()));
  if (!fs::create_directory(path)) throw std::runtime_error("cannot create " + Utf8(path));
  path_ = Utf8(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(NativePath(path_), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(NativePath(path_), ignored);
}

std::vector<std::string> ScratchDir::Entries(const std::string& sub) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(NativePath(path_) / NativePath(sub)))
    names.push_back(Utf8(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int OpenFiles() {
  if (kWindows) return 0;  // (Wine shows its own files there)
  std::error_code error;
  const fs::directory_iterator open("/proc/self/fd", error), end;
  return error ? 0 : static_cast<int>(std::distance(open, end));
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(NativePath(path), error));
}

#ifdef _WIN32
FileHandle QuietPipe() {
  int ends[2];  // the writing end stays open, and silent
  return _pipe(ends, 4096, _O_BINARY) == 0 ? _get_osfhandle(ends[0]) : kNoFile;
}
void CloseQuietPipe(FileHandle) {}
// The C runtime shares reading and writing, but not deleting.
int HoldOpen(const std::string& path) { return _wsopen(NativePath(path).c_str(), _O_RDONLY, _SH_DENYNO); }
void Release(int held) { _close(held); }
bool MakeFifo(const std::string&) { return false; }
bool SetAttribute(const std::string&, const std::string&, const std::string&) { return false; }
std::string Attribute(const std::string&, const std::string&) { return ""; }
#else
static std::map<FileHandle, int> quietWriters;  // the writing end of each quiet pipe
FileHandle QuietPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return kNoFile;
  quietWriters[ends[0]] = ends[1];
  return ends[0];
}
void CloseQuietPipe(FileHandle pipe) {
  if (pipe == kNoFile) return;
  ::close(quietWriters[pipe]), ::close(static_cast<int>(pipe));
  quietWriters.erase(pipe);
}
int HoldOpen(const std::string&) { return -1; }
void Release(int) {}
bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

bool SetAttribute(const std::string& path, const std::string& name, const std::string& value) {
  return ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

std::string Attribute(const std::string& path, const std::string& name) {
  char value[256];
  const ssize_t size = ::getxattr(path.c_str(), name.c_str(), value, sizeof value);
  return size < 0 ? "" : std::string(value, static_cast<std::size_t>(size));
}
#endif

}  // namespace kestrel::test
