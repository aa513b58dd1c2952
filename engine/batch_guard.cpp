#include "batch_guard.h"

#include "io_error.h"

namespace kestrel {

BatchGuard::BatchGuard(FileSystem& fs, std::vector<std::string> logs) : fs_(fs), logs_(std::move(logs)) {
  for (const std::string& log : logs_) identities_.push_back(Identity(log));
}

FileIdentity BatchGuard::Identity(const std::string& path) const {
  FileInfo info;
  return fs_.PathInfo(path, &info) == 0 ? info.identity : FileIdentity{};
}

std::string BatchGuard::Refusal(std::size_t index, const std::string& output) const {
  const std::string log = PrintableName(logs_[index]) + InLanguage(": not converted, ", ": 変換しませんでした。");
  for (std::size_t before = 0; before < index; ++before)
    if (SameFile(identities_[before], identities_[index]))
      return log + InLanguage("the same file as ", "先に指定した ") + PrintableName(logs_[before]) +
             InLanguage(", named before", " と同じファイルです");
  const FileIdentity out = Identity(output);
  if (SameFile(out, identities_[index])) return "";
  for (std::size_t other = 0; other < logs_.size(); ++other)
    if (SameFile(out, identities_[other]))
      return log + InLanguage("its output ", "出力先 ") + PrintableName(output) +
             InLanguage(" is one of the logs to convert", " は変換するログの一つです");
  for (const auto& [written, by] : written_)
    if (SameFile(out, written))
      return log + InLanguage("its output ", "出力先 ") + PrintableName(output) +
             InLanguage(" holds the conversion of ", " には次のログの変換結果があります: ") + PrintableName(logs_[by]);
  return "";
}

void BatchGuard::Written(std::size_t index, const std::string& output) {
  written_.emplace_back(Identity(output), index);
}

}  // namespace kestrel
