#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// "Kestrel Ver.0.20": the major version, then the minor one as two digits.
std::string WindowTitle(int major, int minor);

// Where one instance of the program keeps its settings and its temporary copy.
struct AppPaths {
  std::string iniPath;       // the settings file
  std::string tempPath;      // the temporary copy's path for this instance
  std::string tempDir;       // its directory
  std::uint32_t tempNumber;  // the number in its name
};

// Both files stay beside the program when its directory can be written.
// Otherwise (an installed program) the settings go to the user's
// configuration directory and the temporary copy to the system's temporary
// directory. The temporary copy is numbered with the process id, so that
// instances running at once do not share one.
AppPaths ComputeAppPaths(const std::string& programDir, bool programDirWritable, const std::string& configDir,
                         const std::string& systemTempDir, std::uint32_t processId);

}  // namespace kestrel
