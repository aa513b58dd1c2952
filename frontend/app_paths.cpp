#include "app_paths.h"

#include "conversion_run.h"

namespace kestrel {
namespace {

std::string WithSeparator(const std::string& dir) { return !dir.empty() && dir.back() == '/' ? dir : dir + "/"; }

}  // namespace

std::string WindowTitle(int major, int minor) {
  const std::string twoDigits = std::to_string(minor + 100);
  return "Kestrel Ver." + std::to_string(major) + "." + twoDigits.substr(twoDigits.size() - 2);
}

AppPaths ComputeAppPaths(const std::string& programDir, bool programDirWritable, const std::string& configDir,
                         const std::string& systemTempDir, std::uint32_t processId) {
  // Without a folder of the user's own, the settings are neither read nor saved.
  const std::string settingsDir = programDirWritable  ? WithSeparator(programDir)
                                  : configDir.empty() ? ""
                                                      : WithSeparator(configDir);
  const std::string tempDir = WithSeparator(programDirWritable ? programDir : systemTempDir);
  return AppPaths{settingsDir.empty() ? "" : settingsDir + "Kestrel.ini", tempDir + TempFileName(processId), tempDir,
                  processId};
}

}  // namespace kestrel
