#include "test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kestrel::test {

namespace fs = std::filesystem;

fs::path NativePath(const std::string& path) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Under TMPDIR when it is set, else (and always on Windows) the system's
// temporary folder.
ScratchDir::ScratchDir() {
#ifdef _WIN32
  const fs::path base = fs::temp_directory_path();
#else
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = tmp && *tmp ? NativePath(tmp) : fs::temp_directory_path();
#endif
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "kestrel-test-%08x", static_cast<unsigned>(random()));
    std::error_code error;
    if (fs::create_directory(base / name, error)) {
      fs::permissions(base / name, fs::perms::owner_all, fs::perm_options::replace, error);
      path_ = Utf8(base / name);
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch directory in " + Utf8(base));
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(NativePath(path_), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(NativePath(path_), ignored);
}

std::vector<std::string> ScratchDir::List(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(NativePath(dir))) names.push_back(Utf8(entry.path().filename()));
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
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(NativePath(path), error));
}

#ifdef _WIN32
bool MakeFifo(const std::string&) { return false; }
bool SetAttribute(const std::string&, const std::string&, const std::string&) { return false; }
std::string Attribute(const std::string&, const std::string&) { return ""; }
#else
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

std::string Lines(const std::vector<std::string>& lines, const std::string& end) {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

}  // namespace kestrel::test
