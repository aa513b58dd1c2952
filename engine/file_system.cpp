#include "file_system.h"

#include <cstring>

namespace kestrel {
namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return std::strchr(kSeparators, dir.back()) ? dir + name : dir + "/" + name;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return "";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ErrorText(int error) {
  if (error == kErrorReservedName) return "a device name, not a file";
  return std::strerror(error);
}

}  // namespace kestrel
