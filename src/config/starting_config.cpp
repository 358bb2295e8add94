#include "config/starting_config.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/path_pattern.h"
#include "files/paths.h"

namespace quillmap {

namespace {

constexpr const char* kAllCFiles = "**/*.c";
constexpr const char* kExists = " exists already; it is left as it is (-init never overwrites)";
constexpr const char* kNoFolder = "not a folder: ";
constexpr const char* kCannotWrite = "cannot write ";
constexpr const char* kWritten = "wrote ";

// The parts of the starting configuration that do not depend on the folder.
constexpr const char* kHead = R"(; Scan it with:  quillmap -cfg quillmap.cfg
; Every path below is relative to the folder of this file. Lines that begin with ";" are
; comments; remove the ";" in front of a key to use it.

[scan]
; C-aware scanning: functions and calls are found by C syntax, not by line layout.
syntax=c
; Calls bound to the definitions they reach: a static function per file, calls through function
; pointers (ops->open(f)) to the functions registered for them, drawn dashed.
resolve=yes

[files]
; The call graph (Graphviz DOT), written next to this file.
dot=quillmap.dot
; The CSV report: a row for every scanned file, function and call, for a spreadsheet or a
; script; on a large tree it runs to hundreds of MB, so it is off until you remove the ";".
;csv=quillmap.csv
; The sources: every .c file under this folder, at any depth ("**" is any number of folders).
file0=**/*.c
; The headers whose macros are expanded where the sources use them (with resolve=yes).
header0=**/*.h
; Files to leave out of every list, for example tests:
;exclude0=**/test/**
; The C files of a compilation database can be scanned too:
;compile_commands=build/compile_commands.json

[calls]
; The call filter: with syntax=c the pattern * alone selects every function and every call.
0=*

[dot]
; Draw the call graph from left to right.
graph_cfg0=rankdir=LR
; Every function as a box.
graph_cfg1=node [shape=box, fontname=Helvetica, fontsize=10]

[modules]
; The module graph (Graphviz DOT): the modules as clusters and the calls between them.
dot=quillmap_modules.dot
; The record of what the module scan found: a line for every call of every module, which
; on a large tree runs to hundreds of MB; the module graph needs none of it.
;log=quillmap_modules.log
; Draw the module graph from left to right.
graph_cfg0=rankdir=LR
; Every function as a box.
graph_cfg1=node [shape=box, fontname=Helvetica, fontsize=10]
)";

// Why no value can name the folder in a pattern that takes it literally; "" when one can.
std::string WhyNoPatternNames(const std::string& name) {
  if (name.find_first_of("*?") != std::string::npos) {
    return "a pattern takes its * or ? as a wildcard";
  }
  if (name.find('\\') != std::string::npos) return "a path value reads its \\ as /";
  if (name.find_first_of("\r\n") != std::string::npos) return "a value cannot hold its line break";
  return {};
}

// The value as the INI reader gives it back: quoted when blanks or quotes at its ends would be
// trimmed or taken as quotes.
std::string IniValue(const std::string& value) {
  const auto loose = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
  return loose(value.front()) || loose(value.back()) ? '"' + value + '"' : value;
}

// The name as a comment can show it: control characters as '?'.
std::string Shown(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return name;
}

}  // namespace

std::vector<ModuleFolder> FindModuleFolders(const std::string& folder) {
  std::vector<ModuleFolder> modules;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return modules;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name(entry->d_name);
    if (name.empty() || name[0] == '.') continue;
    struct stat st;
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
      continue;
    }
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const size_t count = ExpandPathPattern(folder + name + "/", kAllCFiles).files.size();
    if (count > 0) modules.push_back({name, count, WhyNoPatternNames(name)});
  }
  return modules;
}

std::string StartingConfigText(const std::string& folderPath, std::vector<ModuleFolder> modules) {
  std::string text =
      "; Starting configuration for " + folderPath + ", written by quillmap -init.\n";
  text += kHead;
  std::vector<ModuleFolder> leftOut;
  std::erase_if(modules, [&](const ModuleFolder& module) {
    if (module.leftOut.empty()) return false;
    leftOut.push_back(module);
    return true;
  });
  for (const ModuleFolder& module : leftOut) {
    text += "; Not a module: the folder " + Shown(module.name) + " (" +
            std::to_string(module.cFiles) + " C files), as " + module.leftOut + ".\n";
  }
  const size_t found = modules.size();
  if (found > static_cast<size_t>(kMaxModules)) {
    std::stable_sort(
        modules.begin(), modules.end(),
        [](const ModuleFolder& a, const ModuleFolder& b) { return a.cFiles > b.cFiles; });
    modules.resize(kMaxModules);
    std::sort(modules.begin(), modules.end(),
              [](const ModuleFolder& a, const ModuleFolder& b) { return a.name < b.name; });
    text += "; " + std::to_string(found) + " top-level folders hold C files; a configuration has " +
            std::to_string(kMaxModules) + " modules at most, so only the " +
            std::to_string(kMaxModules) + " with the most C files are modules here.\n";
  } else if (found == 0) {
    text += "; No top-level folder holds C files, so there are no modules.\n";
  } else {
    text += "; One module per top-level folder that holds C files.\n";
  }
  for (size_t i = 0; i < modules.size(); ++i) {
    const std::string key = "mod_" + std::to_string(i);
    const ModuleFolder& module = modules[i];
    text += "; Module " + std::to_string(i) + ": the folder " + module.name + " (" +
            std::to_string(module.cFiles) + " C files).\n";
    text += key + "=" + IniValue(module.name) + "\n";
    text += "; Its sources: every .c file under " + module.name + "/.\n";
    text += key + "_file_0=" + IniValue(module.name + "/" + kAllCFiles) + "\n";
  }
  return text;
}

StartingConfigResult WriteStartingConfig(const std::string& folder) {
  StartingConfigResult result;
  std::string base = folder.empty() ? "./" : folder;
  if (base.back() != '/') base += '/';
  result.path = base + kStartingConfigName;
  struct stat st;
  if (stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    result.status = StartingConfigResult::Status::kNoFolder;
    result.message = kNoFolder + folder;
    return result;
  }
  std::string full = FullPathOf(base);
  if (full.size() > 1 && full.back() == '/') full.pop_back();
  const std::string text = StartingConfigText(full, FindModuleFolders(base));
  // O_EXCL: an existing file, even one created meanwhile, is never replaced.
  const int fd = open(result.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const bool exists = errno == EEXIST;
    result.status =
        exists ? StartingConfigResult::Status::kExists : StartingConfigResult::Status::kWriteFailed;
    result.message =
        exists ? result.path + kExists : kCannotWrite + result.path + ": " + std::strerror(errno);
    return result;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int writeError = done < text.size() ? errno : 0;
  if (close(fd) != 0 || writeError != 0) {
    unlink(result.path.c_str());
    result.status = StartingConfigResult::Status::kWriteFailed;
    result.message =
        kCannotWrite + result.path + ": " + std::strerror(writeError ? writeError : EIO);
    return result;
  }
  result.message = kWritten + result.path;
  return result;
}

}  // namespace quillmap
