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
  std::string tempDir;       // its directory, the system's temporary one
  std::uint32_t tempNumber;  // the number in its name
};

// The settings stay beside the program when its directory can be written.
// Otherwise (an installed program) they go to the user's configuration
// directory. The temporary copy's directory here is the system's temporary
// one, where a run puts it when the output's own folder cannot take it (see
// FormPresenter). The temporary copy is numbered with the process id, so
// that instances running at once do not share one.
AppPaths ComputeAppPaths(const std::string& programDir, bool programDirWritable, const std::string& configDir,
                         const std::string& systemTempDir, std::uint32_t processId);

}  // namespace kestrel
