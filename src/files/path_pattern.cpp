#include "files/path_pattern.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <tuple>

namespace quillmap {

namespace {

constexpr std::string_view kAnyDepth = "**";
constexpr const char* kEmptyComponent = "empty folder or file name";
constexpr const char* kGluedAnyDepth = "\"**\" must stand alone between two \"/\"";

bool HasWildcard(std::string_view component) {
  return component.find_first_of("*?") != std::string_view::npos;
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return parts;
}

// fnmatch gives "[" a meaning of its own; here it is an ordinary character. Backslashes never
// reach a pattern (configured paths turn them into "/"), so "\[" is a plain "[" to fnmatch.
std::string FnmatchPattern(std::string_view component) {
  std::string escaped;
  escaped.reserve(component.size() + 2);
  for (const char c : component) {
    if (c == '[' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool IsHidden(std::string_view name) { return !name.empty() && name[0] == '.'; }

// The folder walk of one expansion. Folders are read through descriptors (openat, fstatat), so
// that a deep tree costs no path lookups from the root.
class Walk {
 public:
  Walk(const std::vector<std::string_view>& components, const std::function<bool()>& stop)
      : stop_(stop) {
    for (std::string_view component : components) {
      components_.emplace_back(component);
      fnmatchPatterns_.push_back(FnmatchPattern(component));
    }
  }

  // Walks the folder `fd` (taken over and closed) at `path` ("" for the current folder, else
  // ending in "/") from component `index` on. Each folder is walked once per component.
  void WalkFolder(int fd, const std::string& path, size_t index) {
    if (stop_ && stop_()) {
      close(fd);
      return;
    }
    struct stat folder;
    if (fstat(fd, &folder) == 0 && visited_.insert({folder.st_dev, folder.st_ino, index}).second) {
      std::optional<std::vector<Entry>> entries;
      const dev_t outer = folderDevice_;
      folderDevice_ = folder.st_dev;
      Process(fd, path, index, entries);
      folderDevice_ = outer;
    }
    close(fd);
  }

  void NoteUnreadable(const std::string& folder) { result_.unreadableFolders.push_back(folder); }

  PatternExpansion Result() {
    std::sort(result_.files.begin(), result_.files.end(),
              [](const PatternMatch& a, const PatternMatch& b) { return a.path < b.path; });
    // A file met twice on one path ("**/**") is listed once.
    result_.files.erase(
        std::unique(result_.files.begin(), result_.files.end(),
                    [](const PatternMatch& a, const PatternMatch& b) { return a.path == b.path; }),
        result_.files.end());
    return std::move(result_);
  }

 private:
  const std::function<bool()>& stop_;
  struct Entry {
    std::string name;
    unsigned char type;
    ino_t inode = 0;
  };
  using Entries = std::optional<std::vector<Entry>>;

  bool Last(size_t index) const { return index + 1 == components_.size(); }

  // Matches component `index` in the folder `fd`, reading its entries when a wildcard needs them.
  void Process(int fd, const std::string& path, size_t index, Entries& entries) {
    const std::string& component = components_[index];
    if (!HasWildcard(component)) {
      // Looked up, not listed, so that ".", ".." and hidden names work as written.
      Entry entry{component, DT_UNKNOWN};
      Consider(fd, path, entry, index);
      return;
    }
    if (!entries && !ReadEntries(fd, path, entries)) return;
    if (component == kAnyDepth) {
      if (!Last(index)) Process(fd, path, index + 1, entries);  // zero folders deep
      for (Entry& entry : *entries) {
        if (IsHidden(entry.name)) continue;
        if (Last(index)) {
          Consider(fd, path, entry, index);
        } else if (IsFolder(fd, entry)) {
          Descend(fd, path, entry.name, index);
        }
      }
      return;
    }
    for (Entry& entry : *entries) {
      if (fnmatch(fnmatchPatterns_[index].c_str(), entry.name.c_str(), FNM_PERIOD) == 0) {
        Consider(fd, path, entry, index);
      }
    }
  }

  bool ReadEntries(int fd, const std::string& path, Entries& entries) {
    const int own = dup(fd);
    DIR* dir = own < 0 ? nullptr : fdopendir(own);
    if (dir == nullptr) {
      if (own >= 0) close(own);
      NoteUnreadable(FolderName(path));
      return false;
    }
    entries.emplace();
    while (const dirent* entry = readdir(dir)) {
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      entries->push_back({std::string(name), entry->d_type, entry->d_ino});
    }
    closedir(dir);
    return true;
  }

  bool IsFolder(int fd, Entry& entry) {
    if (entry.type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(fd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
      entry.type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    return entry.type == DT_DIR;
  }

  // An entry that matched component `index`: a folder is walked on (with the next component, or
  // with the same one when it is a trailing "**"); a regular file, or a link to one, that matched
  // the last component is a match.
  void Consider(int fd, const std::string& path, Entry& entry, size_t index) {
    if (IsFolder(fd, entry)) {
      if (!Last(index)) {
        Descend(fd, path, entry.name, index + 1);
      } else if (components_[index] == kAnyDepth) {
        Descend(fd, path, entry.name, index);
      } else {
        ++result_.matchedFolders;
      }
      return;
    }
    if (!Last(index)) return;
    if (entry.type == DT_REG && entry.inode != 0) {
      // The folder's device and the entry's inode name the file without a call per file.
      result_.files.push_back({path + entry.name, {folderDevice_, entry.inode}});
      return;
    }
    struct stat st;
    if (fstatat(fd, entry.name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) return;
    result_.files.push_back({path + entry.name, {st.st_dev, st.st_ino}});
  }

  void Descend(int fd, const std::string& path, const std::string& name, size_t index) {
    const int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
      // A link to a folder is not followed, and a name that vanished meanwhile is no error.
      if (errno != ELOOP && errno != ENOENT && errno != ENOTDIR) NoteUnreadable(path + name);
      return;
    }
    WalkFolder(sub, path + name + "/", index);
  }

  static std::string FolderName(const std::string& path) {
    if (path.empty()) return ".";
    if (path.size() > 1 && path.back() == '/') return path.substr(0, path.size() - 1);
    return path;
  }

  std::vector<std::string> components_;
  std::vector<std::string> fnmatchPatterns_;
  std::set<std::tuple<dev_t, ino_t, size_t>> visited_;
  dev_t folderDevice_ = 0;  // of the folder being processed
  PatternExpansion result_;
};

bool MatchComponents(const std::vector<std::string_view>& pattern, size_t p,
                     const std::vector<std::string_view>& path, size_t q) {
  while (p < pattern.size()) {
    if (pattern[p] == kAnyDepth) {
      for (size_t skip = q; skip <= path.size(); ++skip) {
        if (MatchComponents(pattern, p + 1, path, skip)) return true;
        if (skip < path.size() && IsHidden(path[skip])) return false;
      }
      return false;
    }
    if (q >= path.size()) return false;
    if (fnmatch(FnmatchPattern(pattern[p]).c_str(), std::string(path[q]).c_str(), FNM_PERIOD) !=
        0) {
      return false;
    }
    ++p;
    ++q;
  }
  return q == path.size();
}

}  // namespace

bool IsPathPattern(std::string_view value) { return HasWildcard(value); }

std::string PatternProblem(std::string_view pattern) {
  std::string_view rest = pattern;
  if (!rest.empty() && rest[0] == '/') rest.remove_prefix(1);
  for (std::string_view component : SplitComponents(rest)) {
    if (component.empty()) return kEmptyComponent;
    if (component != kAnyDepth && component.find(kAnyDepth) != std::string_view::npos) {
      return kGluedAnyDepth;
    }
  }
  return {};
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  identity = {st.st_dev, st.st_ino};
  return true;
}

PatternExpansion ExpandPathPattern(const std::string& base, const std::string& pattern,
                                   const std::function<bool()>& stop) {
  std::vector<std::string_view> components = SplitComponents(pattern);
  // The base and the leading components without wildcards name the folder where the walk starts.
  std::string start = base;
  size_t first = 0;
  if (!pattern.empty() && pattern[0] == '/') {
    start += "/";
    first = 1;
  }
  while (first + 1 < components.size() && !HasWildcard(components[first])) {
    start += std::string(components[first]) + "/";
    ++first;
  }
  Walk walk({components.begin() + static_cast<std::ptrdiff_t>(first), components.end()}, stop);
  const int fd = open(start.empty() ? "." : start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    // A start folder that does not exist makes a pattern that matches nothing.
    if (errno != ENOENT && errno != ENOTDIR) {
      walk.NoteUnreadable(start.size() > 1 ? start.substr(0, start.size() - 1) : start);
    }
    return walk.Result();
  }
  walk.WalkFolder(fd, start, 0);
  return walk.Result();
}

bool MatchesPathPattern(std::string_view pattern, std::string_view path) {
  return MatchComponents(SplitComponents(pattern), 0, SplitComponents(path), 0);
}

}  // namespace quillmap
