/// The scans of a language server's workspace: its configuration (the workspace's
/// quillmap.cfg, one named by the client, or the starting configuration that "-init" would
/// write, held in memory), a whole scan, and the scan of one file from the editor's text.
/// No scan writes an output: the output lines go nowhere, the JSON export and the pictures are
/// off.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "context/scan_context.h"
#include "lsp/call_index.h"

namespace quillmap::lsp {

/// A text held in an anonymous memory file, readable by path (/proc/self/fd/N) by everything
/// that reads files, and gone when closed.
class MemoryFile {
 public:
  MemoryFile(const char* name, std::string_view text);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  bool ok() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

class WorkspaceConfig {
 public:
  /// The configuration for the workspace at `root` (a folder path): `configSetting` when not
  /// empty (relative to the root), else the root's quillmap.cfg when there is one, else the
  /// starting configuration held in memory.
  static WorkspaceConfig For(const std::string& root, const std::string& configSetting);

  /// The path scans are given: the file, or the memory file of the held text.
  const std::string& cfgPath() const { return cfgPath_; }
  /// True for the starting configuration held in memory.
  bool held() const { return held_ != nullptr; }
  const std::string& root() const { return root_; }
  /// What the log shows of it: the file, or that the starting configuration is used.
  std::string Description() const;
  /// The text of a held configuration; "" otherwise.
  const std::string& heldText() const { return heldText_; }

 private:
  std::string root_;
  std::string cfgPath_;
  std::string heldText_;
  std::shared_ptr<MemoryFile> held_;
};

/// The activity log of a scan kept as entries, its errors apart.
class CollectedLog : public ActivityLog {
 public:
  void AppendLog(const std::string& text, bool replace) override;
  void AppendErrorEntry(const std::string& text) override;
  std::vector<std::string> entries;
  std::vector<std::string> errors;
};

/// What a scan gives the index: each scanned file by path, or for a whole scan the index
/// itself (built while the model is freed, so that both are never held whole).
struct WorkspaceScanResult {
  std::vector<std::pair<std::string, ScannedFile>> files;
  std::unique_ptr<CallIndex> index;
  bool ok = false;      // the scan ran to its end
  std::string failure;  // why not (a configuration that cannot be opened ...)
  CollectedLog log;
};

/// Scans every source of the configuration.
WorkspaceScanResult ScanWorkspace(const WorkspaceConfig& config, RunObserver* observer);
/// Scans one file, whose text is `text`, with the configuration's filters and syntax; its
/// findings come back under `path`.
WorkspaceScanResult ScanOneFile(const WorkspaceConfig& config, const std::string& path,
                                std::string_view text);

}  // namespace quillmap::lsp
