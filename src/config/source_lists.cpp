#include "config/source_lists.h"

#include <cerrno>
#include <cstring>
#include <istream>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_set>

#include "config/compile_options.h"
#include "files/file_error.h"
#include "files/path_pattern.h"
#include "files/paths.h"
#include "files/source_file.h"

namespace quillmap {

namespace {
constexpr const char* kCSuffix = ".c";
constexpr const char* kNotAnArray = "not a JSON array of entries";
constexpr const char* kEntryWithoutFile = "an entry without a \"file\" text, first entry ";

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The exclusion patterns of a configuration. A pattern without "/" matches a file name in any
// folder ("*_test.c"); any other is a path pattern resolved against the configuration's folder
// ("**/test/**").
class Exclusions {
 public:
  Exclusions(const StringList& values, const std::string& cfgDir, StringList& problems) {
    for (const std::string& value : values) {
      const std::string pattern = ResolvePath(value, "");
      const std::string problem = PatternProblem(pattern);
      if (!problem.empty()) {
        problems.push_back(kBadPattern + pattern + " (" + problem + ")");
      } else if (pattern.find('/') == std::string::npos) {
        names_.push_back(pattern);
      } else {
        paths_.push_back(FullPathOf(ResolvePath(pattern, cfgDir)));
      }
    }
  }

  bool Excludes(const std::string& path) const {
    if (names_.empty() && paths_.empty()) return false;
    const std::string full = FullPathOf(path);
    const std::string name = full.substr(full.find_last_of('/') + 1);
    for (const std::string& pattern : names_) {
      if (MatchesPathPattern(pattern, name)) return true;
    }
    for (const std::string& pattern : paths_) {
      if (MatchesPathPattern(pattern, full)) return true;
    }
    return false;
  }

 private:
  StringList names_;
  StringList paths_;
};

// Builds one list from its recipe.
class ListBuilder {
 public:
  ListBuilder(const SourceListCache::Recipe& recipe, SourceList& list,
              const std::function<bool()>& stop)
      : recipe_(recipe),
        list_(list),
        exclusions_(recipe.excludes, recipe.cfgDir, list.problems),
        stop_(stop) {}

  void Build() {
    for (const std::string& value : recipe_.values) {
      const std::string path = ResolvePath(value, recipe_.cfgDir);
      if (IsPathPattern(value)) {
        AddPattern(path, IsAbsolutePath(value) ? 0 : recipe_.cfgDir.size());
      } else if (!exclusions_.Excludes(path)) {
        // A plain entry stays as it was always taken, also when it is listed twice or missing.
        list_.paths.push_back(path);
        if (tracking_) Track(path);
      }
    }
    if (!recipe_.database.empty()) AddDatabase(ResolvePath(recipe_.database, recipe_.cfgDir));
  }

 private:
  void Track(const std::string& path) {
    FileIdentity identity;
    if (IdentityOf(path, identity)) identities_.insert(identity);
  }

  void StartTracking() {
    if (tracking_) return;
    tracking_ = true;
    for (const std::string& path : list_.paths) Track(path);
  }

  // Expands `pattern`, whose first `baseLength` characters name the configuration's folder.
  void AddPattern(const std::string& pattern, size_t baseLength) {
    const std::string problem = PatternProblem(std::string_view(pattern).substr(baseLength));
    if (!problem.empty()) {
      list_.problems.push_back(kBadPattern + pattern + " (" + problem + ")");
      return;
    }
    StartTracking();
    PatternExpansion expansion =
        ExpandPathPattern(pattern.substr(0, baseLength), pattern.substr(baseLength), stop_);
    for (const std::string& folder : expansion.unreadableFolders) {
      list_.problems.push_back(ErrorOpeningText(folder));
    }
    if (expansion.files.empty()) list_.problems.push_back(kNoFileMatches + pattern);
    for (PatternMatch& match : expansion.files) {
      if (exclusions_.Excludes(match.path) || !identities_.insert(match.identity).second) continue;
      list_.paths.push_back(std::move(match.path));
    }
  }

  void DatabaseProblem(const std::string& database, const std::string& reason) {
    list_.problems.push_back(kDatabaseError + database + " (" + reason + ")");
  }

  // Adds the C files of a compilation database, once each, in its order. Each entry's "file" is
  // taken relative to its "directory", and a relative directory relative to the database's own.
  void AddDatabase(const std::string& database) {
    // Read as a source is: a folder or a stream that never ends or stays silent is a problem
    // of the list, never a wait or an end of the run.
    SourceFile file;
    if (!file.Open(database)) {
      DatabaseProblem(database, std::strerror(errno));
      return;
    }
    SourceFileBuffer buffer(file);
    std::istream in(&buffer);
    nlohmann::json entries;
    try {
      entries = nlohmann::json::parse(in);
    } catch (const nlohmann::json::exception& error) {
      DatabaseProblem(database, buffer.failure().empty() ? error.what() : buffer.failure());
      return;
    }
    if (!entries.is_array()) {
      DatabaseProblem(database, kNotAnArray);
      return;
    }
    StartTracking();
    const std::string databaseDir = database.substr(0, database.find_last_of('/') + 1);
    bool reportedBadEntry = false;
    std::set<std::string> missing;
    for (size_t i = 0; i < entries.size(); ++i) {
      std::string directory;
      std::string path;
      if (!ReadEntryPaths(entries[i], databaseDir, directory, path)) {
        if (!reportedBadEntry) DatabaseProblem(database, kEntryWithoutFile + std::to_string(i));
        reportedBadEntry = true;
        continue;
      }
      if (!EndsWith(path, kCSuffix)) continue;
      FileIdentity identity;
      if (!IdentityOf(path, identity)) {
        if (missing.insert(path).second) list_.problems.push_back(kDatabaseMissingFile + path);
        continue;
      }
      if (exclusions_.Excludes(path) || !identities_.insert(identity).second) continue;
      list_.paths.push_back(path);
    }
  }

  const SourceListCache::Recipe& recipe_;
  SourceList& list_;
  Exclusions exclusions_;
  const std::function<bool()>& stop_;
  bool tracking_ = false;
  std::unordered_set<FileIdentity, FileIdentityHash> identities_;
};

SourceList BuildList(const SourceListCache::Recipe& recipe,
                     const std::function<bool()>& stop = {}) {
  SourceList list;
  ListBuilder(recipe, list, stop).Build();
  return list;
}

SourceListCache::Recipe CallGraphRecipe(const SourceSettings& sources, const std::string& cfgDir) {
  return {cfgDir, sources.files, sources.excludes, sources.compileCommands};
}

SourceListCache::Recipe HeaderRecipe(const SourceSettings& sources, const std::string& cfgDir) {
  return {cfgDir, sources.headers, sources.excludes, {}};
}

SourceListCache::Recipe ModuleRecipe(const ScanSettings& settings, const std::string& cfgDir,
                                     int module) {
  const std::vector<ModuleSettings>& modules = settings.modules.modules;
  return {cfgDir,
          module >= 0 && static_cast<size_t>(module) < modules.size()
              ? modules[static_cast<size_t>(module)].files
              : StringList(),
          settings.sources.excludes,
          {}};
}
}  // namespace

SourceList CallGraphSourcePaths(const ScanSettings& settings, const std::string& cfgDir) {
  return BuildList(CallGraphRecipe(settings.sources, cfgDir));
}

SourceList HeaderPaths(const ScanSettings& settings, const std::string& cfgDir) {
  return BuildList(HeaderRecipe(settings.sources, cfgDir));
}

SourceList IncludeFolderHeaders(const ScanSettings& settings, const std::string& cfgDir,
                                const StringList& folders) {
  StringList patterns;
  for (const std::string& folder : folders) {
    if (folder.find_first_of("*?") != std::string::npos) continue;  // would read as a pattern
    patterns.push_back(folder + (folder.ends_with('/') ? "" : "/") + "**/*.h");
  }
  SourceList list = BuildList({cfgDir, patterns, settings.sources.excludes, {}});
  // A build names folders that hold no header or are made by the build: none is a problem.
  list.problems.clear();
  return list;
}

CallGraphOutputPaths ResolveCallGraphOutputPaths(const OutputSettings& outputs,
                                                 const std::string& cfgDir) {
  return {ResolvePath(outputs.dot, cfgDir), ResolvePath(outputs.csv, cfgDir)};
}

SourceList ModuleFilePaths(const ScanSettings& settings, const std::string& cfgDir, int module) {
  return BuildList(ModuleRecipe(settings, cfgDir, module));
}

const SourceList& SourceListCache::CallGraph(const ScanSettings& settings,
                                             const std::string& cfgDir) {
  return Resolve(CallGraphRecipe(settings.sources, cfgDir), {settings.cfgPath, -1});
}

const SourceList& SourceListCache::Module(const ScanSettings& settings, const std::string& cfgDir,
                                          int module) {
  return Resolve(ModuleRecipe(settings, cfgDir, module), {settings.cfgPath, module});
}

const SourceList& SourceListCache::Resolve(Recipe recipe, const std::pair<std::string, int>& key) {
  const auto found = lists_.find(key);
  if (found != lists_.end() && found->second.recipe == recipe) return found->second.list;
  Entry& entry = lists_[key];
  entry.list = BuildList(recipe, stop_);
  entry.recipe = std::move(recipe);
  return entry.list;
}

}  // namespace quillmap
