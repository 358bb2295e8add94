/// The source file lists of a scan configuration: the call graph's ("[files] file0", "file1",
/// ...) and each module's ("[modules] mod_I_file_0", ...), resolved against the configuration's
/// folder. A list ends at its first missing or empty entry.
#pragma once

#include <string>

#include "config/profile_reader.h"
#include "text/text_utils.h"

namespace quillmap {

/// The call graph's sources; `cfgDir` is the configuration's folder.
StringList CallGraphSourcePaths(ProfileReader& profile, const std::string& cfgPath,
                                const std::string& cfgDir);

/// The call graph's outputs ("[files] dot" and "csv"); an empty path turns that output off.
struct CallGraphOutputPaths {
  std::string dot;
  std::string csv;
};
CallGraphOutputPaths ReadCallGraphOutputPaths(ProfileReader& profile, const std::string& cfgPath,
                                              const std::string& cfgDir);

/// The sources of module `module` (its "mod_<module>_file_N" entries).
StringList ModuleFilePaths(ProfileReader& profile, const std::string& cfgPath,
                           const std::string& cfgDir, int module);

}  // namespace quillmap
