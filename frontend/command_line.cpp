#include "command_line.h"

namespace kestrel {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> paths;
  std::string token;
  char delimiter = ' ';
  // The characters are taken one at a time; when the line runs out inside a
  // path, a delimiter is supplied so that the path is closed.
  std::string rest = commandLine;
  std::size_t at = 0;
  while (at < rest.size()) {
    const char c = rest[at++];
    if (c == delimiter) {
      paths.push_back(token);
      token.clear();
      delimiter = ' ';
      continue;
    }
    if (c == '"')
      delimiter = '"';
    else
      token += c;
    if (at == rest.size()) {
      rest.assign(1, delimiter);
      at = 0;
    }
  }
  return paths;
}

}  // namespace kestrel
