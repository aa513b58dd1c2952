#include "output_path.h"

namespace kestrel {

std::string PathWithoutExtension(const std::string& path, const char* separators) {
  const std::size_t lastSeparator = path.find_last_of(separators);
  const std::size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path;
  return path.substr(0, dot);
}

std::string NormaliseExtension(const std::string& typed) {
  return typed.find('.') == std::string::npos ? "." + typed : typed;
}

std::string OutputPathFor(const std::string& log, const std::string& extension) {
  return PathWithoutExtension(log) + NormaliseExtension(extension);
}

}  // namespace kestrel
