#include "interface_map.h"

#include <algorithm>
#include <cerrno>
#include <functional>

#include "block_io.h"

namespace kestrel::compare {
namespace {

bool Match(std::string_view pattern, std::string_view name, std::vector<std::string_view>& captures) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] != '*')
    return !name.empty() && pattern[0] == name[0] && Match(pattern.substr(1), name.substr(1), captures);
  for (std::size_t take = 1; take <= name.size(); ++take) {
    captures.push_back(name.substr(0, take));
    if (Match(pattern.substr(1), name.substr(take), captures)) return true;
    captures.pop_back();
  }
  return false;
}

}  // namespace

void ForEachRule(std::string_view text, const std::function<void(int, const std::vector<std::string_view>&)>& rule) {
  std::vector<std::string_view> words;
  for (int number = 1; !text.empty(); ++number) {
    std::string_view line = text.substr(0, text.find('\n'));
    text.remove_prefix(std::min(text.size(), line.size() + 1));
    line = line.substr(0, line.find('#'));
    words.clear();
    for (std::size_t i = 0; i < line.size();) {
      const std::size_t end = std::min(line.size(), line.find_first_of(" \t\r", i));
      if (end > i) words.push_back(line.substr(i, end - i));
      i = end + 1;
    }
    if (!words.empty()) rule(number, words);
  }
}

InterfaceMap InterfaceMap::Parse(std::string_view text, const std::string& name) {
  InterfaceMap map;
  ForEachRule(text, [&](int number, const std::vector<std::string_view>& words) {
    const auto stars = [](std::string_view w) { return std::count(w.begin(), w.end(), '*'); };
    if (words.size() != 2 || stars(words[1]) > stars(words[0]))
      throw IoError(
          name, 0,
          InLanguage("line ", "") + std::to_string(number) +
              InLanguage(": expected a name and what it becomes, with no more '*' on the right than on the left",
                         " 行目: 名前とその対応先の 2 語が必要です（右の '*' は左より多くできません）"));
    map.rules_.emplace_back(words[0], words[1]);
  });
  return map;
}

std::string ReadSmallFile(FileSystem& fs, const std::string& path) {
  const OwnedFile file(fs, fs.OpenRead(path));
  if (file.Get() == kNoFile) throw IoError(path, errno);
  std::string text;
  BlockReader in(fs, file.Get(), path, {}, {});
  for (std::string_view data = in.Available(); !data.empty(); data = in.Available()) {
    if (text.size() + data.size() > (std::size_t{16} << 20)) throw IoError(path, EFBIG);
    text.append(data);
    in.Consume(data.size());
  }
  return text;
}

InterfaceMap InterfaceMap::Load(FileSystem& fs, const std::string& path) {
  return Parse(ReadSmallFile(fs, path), path);
}

std::string InterfaceMap::Map(std::string_view name) const {
  std::vector<std::string_view> captures;
  for (const auto& [from, to] : rules_) {
    captures.clear();
    if (!Match(from, name, captures)) continue;
    std::string out;
    std::size_t next = 0;
    for (const char c : to) {
      if (c == '*')
        out += captures[next++];
      else
        out += c;
    }
    return out;
  }
  return std::string(name);
}

bool InterfaceMap::Knows(std::string_view name) const {
  std::vector<std::string_view> captures;
  for (const auto& [from, to] : rules_)
    if (Match(from, name, captures) || Match(to, name, captures)) return true;
  return false;
}

}  // namespace kestrel::compare
