/// Helpers shared by the tests: temporary folders, whole-file reads and writes, and an
/// in-memory window system.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dialog/window_system.h"

namespace quillmap::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The folder's path, ending in "/".
  const std::string& path() const { return path_; }
  /// The path of `name` inside the folder.
  std::string operator/(const std::string& name) const { return path_ + name; }
  /// Writes `contents` to `name` inside the folder (creating sub-folders) and returns its path.
  std::string Write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& contents);
/// The file's bytes; "" when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

/// What a run of the quillmap program printed and returned.
struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

/// Runs the built quillmap program with `args` in the folder `workingDir` and waits for it.
ProgramResult RunQuillmap(const std::vector<std::string>& args, const std::string& workingDir);

/// Adds a test failure unless Graphviz's dot accepts the DOT file. Without dot installed the
/// check cannot run: it is left out locally and fails under CI, where graphviz is installed.
void ExpectGraphvizAccepts(const std::string& dotPath);

/// When the environment names a folder in QUILLMAP_DOT_ARCHIVE, copies the DOT file there under
/// a new name (the current test's name, the file's stem and a unique suffix), so that `make test`
/// can hand every produced DOT file to Graphviz afterwards. Without the variable it does nothing.
/// Returns false only when archiving is on and the copy failed.
bool ArchiveDotFile(const std::string& path);

/// `text` with the creation time of every DOT header line ("// crated on: DATE, TIME with")
/// replaced by "TIME", so that files written in different minutes compare equal.
std::string WithoutDotTimes(const std::string& text);
/// When `contents` opens with the DOT header line in its exact form ("// crated on: dd.dd.dddd,
/// dd:dd.dd with quillmap V1.0.0.2 BETA!!!" and CR LF), sets `rest` to what follows it and
/// returns true; otherwise sets `rest` to `contents` and returns false.
bool SplitDotHeader(const std::string& contents, std::string& rest);

/// `text` with every `from` replaced by `to`.
std::string ReplacedAll(std::string text, const std::string& from, const std::string& to);

/// Splits CR LF-terminated lines (the on-disk form of every output file).
std::vector<std::string> CrLfLines(const std::string& contents);

/// Controls held in memory, with a record of what the logic asked of the window system.
class MemoryWindow : public WindowSystem {
 public:
  MemoryWindow();

  bool HasItem(int id) const override { return texts.count(id) != 0; }
  std::string GetItemText(int id) const override;
  bool SetItemText(int id, const std::string& text) override;
  void EnableItem(int id, bool enable) override;
  void SetTitle(const std::string& newTitle) override { title = newTitle; }
  void ShowFileError(const FileError& error) override { fileErrors.push_back(error.what()); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void RequestClose() override { ++closeRequests; }
  void OnLogEntry(const std::string& text, bool replace) override;
  void ShowStatus(const RunStatus& shown) override { statuses.push_back(shown); }
  void OnRunEnded() override { ++runsEnded; }

  std::map<int, std::string> texts;
  std::vector<RunStatus> statuses;
  std::vector<std::string> messages;
  int runsEnded = 0;
  std::map<int, bool> enabled;
  std::string title;
  std::vector<std::string> fileErrors;
  int closeRequests = 0;
  /// Every appended entry since the last replacement.
  std::vector<std::string> entries;
};

}  // namespace quillmap::testing
