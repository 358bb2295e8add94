/// The source file lists of a scan configuration: the call graph's ("[files] file0", "file1",
/// ..., then the C files of "[files] compile_commands") and each module's ("[modules]
/// mod_I_file_0", ...), resolved against the configuration's folder, patterns expanded in place
/// and the matches of "[files] exclude0", "exclude1", ... removed. A numbered list ends at its
/// first missing or empty entry.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "config/scan_settings.h"
#include "text/text_utils.h"

namespace quillmap {

/// Modules a configuration can define: "mod_0" to "mod_199".
inline constexpr int kMaxModules = 200;

/// The log entry of a pattern that names no regular file, followed by the resolved pattern.
inline constexpr const char* kNoFileMatches = "no file matches: ";
/// The log entry of a pattern that cannot be used, followed by the pattern and the reason.
inline constexpr const char* kBadPattern = "bad pattern: ";
/// The log entry of a compilation database that cannot be read or understood, followed by its
/// path and the reason.
inline constexpr const char* kDatabaseError = "error reading compilation database: ";
/// The log entry of a file that a compilation database names but that does not exist.
inline constexpr const char* kDatabaseMissingFile = "compilation database names a missing file: ";

/// The "[files]" key that names a compilation database (compile_commands.json).
inline constexpr const char* kCompileCommandsKey = "compile_commands";
/// The "[files]" numbered list of exclusion patterns.
inline constexpr const char* kExcludeKeyPrefix = "exclude";

/// One resolved list and the problems met while resolving it.
struct SourceList {
  StringList paths;
  /// Activity-log entries, each an error of the run: patterns that match nothing or cannot be
  /// used, folders that cannot be read ("error opening: FOLDER"), database errors.
  StringList problems;
};

/// The call graph's sources; `cfgDir` is the configuration's folder.
SourceList CallGraphSourcePaths(const ScanSettings& settings, const std::string& cfgDir);

/// The "[files]" numbered list of the project's headers, whose macros the resolved mode expands.
inline constexpr const char* kHeaderKeyPrefix = "header";

/// The project's headers ("[files] header0", "header1", ...; the exclusions apply).
SourceList HeaderPaths(const ScanSettings& settings, const std::string& cfgDir);

/// The headers under the include folders of a build (every "*.h" below each; the exclusions
/// apply). Folders that cannot be read or hold none give nothing and no problem.
SourceList IncludeFolderHeaders(const ScanSettings& settings, const std::string& cfgDir,
                                const StringList& folders);

/// The call graph's outputs ("[files] dot" and "csv"); an empty path turns that output off.
struct CallGraphOutputPaths {
  std::string dot;
  std::string csv;
};
CallGraphOutputPaths ResolveCallGraphOutputPaths(const OutputSettings& outputs,
                                                 const std::string& cfgDir);

/// The sources of module `module` (its "mod_<module>_file_N" entries); none for a module that
/// the settings do not hold.
SourceList ModuleFilePaths(const ScanSettings& settings, const std::string& cfgDir, int module);

/// The lists of one run, each resolved once: the run protects its inputs, reads its modules and
/// scans its call graph from the same lists, and walks a large tree only once. A list whose
/// configured values changed since is resolved again.
class SourceListCache {
 public:
  const SourceList& CallGraph(const ScanSettings& settings, const std::string& cfgDir);
  const SourceList& Module(const ScanSettings& settings, const std::string& cfgDir, int module);

  /// Asked at every folder that a pattern walks: true ends the walk (a run being cancelled); the
  /// list is then incomplete, and the run must not use it.
  void SetStop(std::function<bool()> stop) { stop_ = std::move(stop); }

  /// What a list is made from: the folder and every configured value it depends on.
  struct Recipe {
    std::string cfgDir;
    StringList values;
    StringList excludes;
    std::string database;
    bool operator==(const Recipe&) const = default;
  };

 private:
  struct Entry {
    Recipe recipe;
    SourceList list;
  };
  const SourceList& Resolve(Recipe recipe, const std::pair<std::string, int>& key);

  std::map<std::pair<std::string, int>, Entry> lists_;  // by configuration and module (-1)
  std::function<bool()> stop_;
};

}  // namespace quillmap
