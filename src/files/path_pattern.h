/// Path patterns of the source lists: "*" and "?" within one path component, "**" as a whole
/// component for any depth of folders. Expanded against the file system, or matched against paths.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_utils.h"

namespace quillmap {

/// True for a value that is a pattern: it holds "*" or "?". "[" stays an ordinary character, so
/// that every value written before patterns existed keeps its meaning.
bool IsPathPattern(std::string_view value);

/// Why `pattern` cannot be used, "" when it can: an empty component ("src//*.c", "src/"), or
/// "**" glued to other characters ("src/**.c").
std::string PatternProblem(std::string_view pattern);

/// A file as the system knows it, however it is named.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};
struct FileIdentityHash {
  size_t operator()(const FileIdentity& id) const noexcept {
    return std::hash<unsigned long long>()(static_cast<unsigned long long>(id.inode) * 31u +
                                           static_cast<unsigned long long>(id.device));
  }
};

/// The identity of the file at `path` (links followed); false when there is none.
bool IdentityOf(const std::string& path, FileIdentity& identity);

struct PatternMatch {
  std::string path;
  FileIdentity identity;
};

struct PatternExpansion {
  /// The regular files that match, in byte order of their paths.
  std::vector<PatternMatch> files;
  /// Folders of the walk that could not be read, in the order met.
  StringList unreadableFolders;
  /// Folders that matched the whole pattern (they are not files, so they are left out).
  size_t matchedFolders = 0;
};

/// The regular files that `base` followed by `pattern` names. `base` is a folder ending in "/",
/// taken as it stands, or "" for a pattern that is absolute or relative to the current folder.
/// Components without "*" or "?" are taken as they stand;
/// "*" and "?" never match a leading "." unless the component itself begins with "."; "**"
/// matches zero or more folders, skipping hidden ones, and as the last component every file below.
/// Symbolic links to files are followed, links to folders are not (no loops). A valid pattern is
/// assumed (see PatternProblem). `stop`, when given, is asked at every folder: once it says
/// true the walk ends there and the expansion is incomplete (a run being cancelled).
PatternExpansion ExpandPathPattern(const std::string& base, const std::string& pattern,
                                   const std::function<bool()>& stop = {});

/// Whether `path` matches `pattern` component by component, by the rules of ExpandPathPattern.
bool MatchesPathPattern(std::string_view pattern, std::string_view path);

}  // namespace quillmap
