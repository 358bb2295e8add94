#include "config/source_lists.h"

#include "files/paths.h"

namespace quillmap {

namespace {
constexpr const char* kFilesSection = "files";
constexpr const char* kModulesSection = "modules";

StringList PathList(ProfileReader& profile, const std::string& cfgPath, const std::string& cfgDir,
                    const char* section, const std::string& keyPrefix) {
  StringList paths;
  for (int n = 0;; ++n) {
    std::string path = ResolvePath(
        ReadProfileString(profile, cfgPath, section, keyPrefix + std::to_string(n)), cfgDir);
    if (path.empty()) break;
    paths.push_back(std::move(path));
  }
  return paths;
}
}  // namespace

StringList CallGraphSourcePaths(ProfileReader& profile, const std::string& cfgPath,
                                const std::string& cfgDir) {
  return PathList(profile, cfgPath, cfgDir, kFilesSection, "file");
}

CallGraphOutputPaths ReadCallGraphOutputPaths(ProfileReader& profile, const std::string& cfgPath,
                                              const std::string& cfgDir) {
  const auto path = [&](const char* key) {
    return ResolvePath(ReadProfileString(profile, cfgPath, kFilesSection, key), cfgDir);
  };
  return {path("dot"), path("csv")};
}

StringList ModuleFilePaths(ProfileReader& profile, const std::string& cfgPath,
                           const std::string& cfgDir, int module) {
  return PathList(profile, cfgPath, cfgDir, kModulesSection,
                  "mod_" + std::to_string(module) + "_file_");
}

}  // namespace quillmap
