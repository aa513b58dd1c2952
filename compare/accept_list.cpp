#include "accept_list.h"

#include <charconv>

#include "comparison.h"
#include "interface_map.h"
#include "io_error.h"
#include "route_table.h"

namespace kestrel::compare {

bool ParsePrefixText(std::string_view text, Address& address, int& length) {
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos || !ParseAddress(text.substr(0, slash), address)) return false;
  const std::string_view digits = text.substr(slash + 1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
  return error == std::errc() && end == digits.data() + digits.size() && !digits.empty() && digits[0] != '-' &&
         digits[0] != '+' && length <= (address.v6 ? 128 : 32) && Masked(address, length) == address;
}

AcceptList AcceptList::Parse(std::string_view text, const std::string& name) {
  AcceptList list;
  list.name_ = name;
  ForEachRule(text, [&](int number, const std::vector<std::string_view>& words) {
    auto fail = [&](const std::string& what) {
      throw IoError(name, 0, InLanguage("line ", "") + std::to_string(number) + InLanguage(": ", " 行目: ") + what);
    };
    Entry entry;
    entry.line = number;
    std::size_t w = 0;
    if (words[0] == "vrf") {
      if (words.size() < 3)
        fail(InLanguage("expected 'vrf NAME PREFIX'", "「vrf 名前 プレフィックス」の形ではありません"));
      entry.anyVrf = false;
      entry.vrf = words[1];
      w = 2;
    }
    if (!ParsePrefixText(words[w], entry.prefix, entry.length))
      fail(InLanguage("expected a prefix with its length, such as 10.1.0.0/16, not '",
                      "10.1.0.0/16 のような長さ付きのプレフィックスではありません: '") +
           PrintableName(std::string(words[w])) + "'");
    for (++w; w < words.size(); ++w) {
      int k = 0;
      while (k < kDiffKinds && words[w] != kDiffKindNames[k]) ++k;
      if (k == kDiffKinds)
        fail(InLanguage("unknown kind of difference '", "不明な差分の種類です: '") +
             PrintableName(std::string(words[w])) + "'");
      entry.kinds |= static_cast<std::uint8_t>(1 << k);
    }
    list.byPrefix_[{entry.prefix.v6, entry.prefix.hi, entry.prefix.lo, entry.length}].push_back(
        static_cast<int>(list.entries_.size()));
    list.entries_.push_back(std::move(entry));
  });
  return list;
}

AcceptList AcceptList::Load(FileSystem& fs, const std::string& path) { return Parse(ReadSmallFile(fs, path), path); }

int AcceptList::Find(const std::string& vrf, const Address& prefix, int length, std::uint8_t kinds) const {
  const auto found = byPrefix_.find({prefix.v6, prefix.hi, prefix.lo, length});
  if (found == byPrefix_.end()) return -1;
  for (const int i : found->second) {
    const Entry& e = entries_[i];
    if ((e.anyVrf || e.vrf == vrf) && (e.kinds == 0 || (e.kinds & kinds) == kinds)) return i;
  }
  return -1;
}

}  // namespace kestrel::compare
