#include "app_paths.h"

#include "conversion_run.h"

namespace kestrel {

std::string WindowTitle(int major, int minor) {
  const std::string twoDigits = std::to_string(minor + 100);
  return "Kestrel Ver." + std::to_string(major) + "." + twoDigits.substr(twoDigits.size() - 2);
}

AppPaths ComputeAppPaths(const std::string& programDir, bool programDirWritable, const std::string& configDir,
                         const std::string& systemTempDir, std::uint32_t processId) {
  // Without a folder of the user's own, the settings are neither read nor saved.
  const std::string settingsDir = programDirWritable ? programDir : configDir;
  return AppPaths{settingsDir.empty() ? "" : JoinPath(settingsDir, "Kestrel.ini"),
                  JoinPath(systemTempDir, TempFileName(processId)), systemTempDir, processId};
}

}  // namespace kestrel
