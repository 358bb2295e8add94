/// The starting configuration that "-init FOLDER" writes: C-aware scanning of every C file under
/// the folder, the call graph and CSV report next to it, one module per top-level folder with C
/// files, and a comment above every key. It never replaces an existing file.
#pragma once

#include <string>
#include <vector>

#include "config/source_lists.h"

namespace quillmap {

/// The file name of the starting configuration inside its folder.
inline constexpr const char* kStartingConfigName = "quillmap.cfg";

/// A top-level folder that holds C files, at any depth.
struct ModuleFolder {
  std::string name;
  size_t cFiles = 0;
  /// Why no configuration value can name it (it is then no module, and a comment says so).
  std::string leftOut;
};

/// The top-level folders of `folder` (ending in "/") that hold C files, in byte order of their
/// names, hidden folders and links left out. A folder whose name no value can hold as a literal
/// pattern (a `*`, `?` or `\`, a line break) says why in `leftOut`.
std::vector<ModuleFolder> FindModuleFolders(const std::string& folder);

/// The text of the starting configuration for `folderPath` (shown in its head comment) with the
/// given module folders; beyond kMaxModules, the ones with the most C files are taken.
std::string StartingConfigText(const std::string& folderPath, std::vector<ModuleFolder> modules);

struct StartingConfigResult {
  enum class Status { kWritten, kExists, kNoFolder, kWriteFailed };
  Status status = Status::kWritten;
  std::string path;     // FOLDER/quillmap.cfg
  std::string message;  // what to tell the user
};

/// Writes FOLDER/quillmap.cfg unless it exists (then nothing is touched).
StartingConfigResult WriteStartingConfig(const std::string& folder);

}  // namespace quillmap
