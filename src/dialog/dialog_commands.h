/// The main dialog's commands beyond the scan run itself: the "CFG File" chooser, "New CFG" (a
/// starting configuration for a chosen folder), a file dropped onto the path edit, the path
/// typed, and the "SCAN" and "Cancel" buttons with the inputs held disabled while a run is under
/// way. Toolkit-free: a GUI host forwards its events here, polls the run under way and supplies a
/// FileChooser and a FolderChooser.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog/scan_dialog.h"

namespace quillmap {

/// One entry of the chooser's filter: the label the user sees and the pattern it shows.
struct FileFilter {
  const char* label;
  const char* pattern;
};

/// "cfg-files " shows the configurations. All files are "*", not "*.*": on Linux the latter
/// would hide every file without a dot in its name.
inline constexpr FileFilter kCfgFileFilters[] = {{"cfg-files ", "*.cfg"}, {"all-files", "*"}};
inline constexpr const char* kCfgChooserTitle = "Choose a scan configuration";

/// Lets the user pick one file. The GUI shows its native file dialog; tests answer directly.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  /// The chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> ChooseFile() = 0;
};

/// Lets the user pick one folder. The GUI shows its native folder dialog; tests answer directly.
class FolderChooser {
 public:
  virtual ~FolderChooser() = default;
  /// The chosen folder, or nothing when the user cancelled.
  virtual std::optional<std::string> ChooseFolder() = 0;
};

/// The file-name part of the file's full path (at most 255 characters). Opens the file for
/// reading and closes it again, so that a file the scan could not read is reported at once:
/// throws FileError when it cannot be opened.
std::string FileNameOf(const std::string& path);

class DialogCommands {
 public:
  /// `chooser` may be null until a host sets one; "CFG File" then does nothing.
  DialogCommands(ScanDialog& dialog, std::unique_ptr<FileChooser> chooser);
  ~DialogCommands();

  void SetFileChooser(std::unique_ptr<FileChooser> chooser);
  void SetFolderChooser(std::unique_ptr<FolderChooser> chooser);

  /// "SCAN": starts the scan on a worker thread and disables the path edit, "CFG File" and
  /// "SCAN" while it runs, with "Cancel" enabled. Ignored while a run is under way.
  void OnScanClicked();
  /// The host calls this while a run is under way (a timer): see ScanDialog::PollRun. When the
  /// run has ended the inputs come back. Returns whether the run is still under way.
  bool PollRun();
  /// "Cancel": the run stops at its next source; its outputs are not written.
  void OnCancelClicked();
  /// "SCAN" in the calling thread, for a host without a timer: the inputs are held disabled
  /// until it returns.
  void RunScanHere();
  bool scanRunning() const { return scanRunning_; }

  /// The path edit was changed by the user: the title follows it.
  void OnPathEdited();

  /// "CFG File": ChooseCfgFile, with its file error shown by the window system.
  void OnCfgFileClicked();
  /// Asks the chooser for a configuration; a confirmed, non-empty path goes into the path edit
  /// and its file name into the title. Choosing does not start a scan. Throws FileError when
  /// the chosen file cannot be opened; the path edit then holds the path, the title is unchanged.
  void ChooseCfgFile();

  /// "New CFG": asks for a folder, writes its starting configuration and loads it into the path
  /// edit and the title without scanning. A configuration that is there already is not touched:
  /// the window system shows why, and the path edit keeps its text.
  void OnNewCfgClicked();

  /// Files dropped onto the path edit. Exactly one file is taken like a chosen one (its file
  /// error shown by the window system); any other number is ignored, as is a drop during a
  /// run. Returns whether the drop was taken.
  bool OnFilesDropped(const std::vector<std::string>& paths);

 private:
  // Puts the path into the path edit and its file name into the title.
  void TakeCfgPath(const std::string& path);
  void HoldInputs(bool hold);

  ScanDialog& dialog_;
  std::unique_ptr<FileChooser> chooser_;
  std::unique_ptr<FolderChooser> folderChooser_;
  bool scanRunning_ = false;
};

}  // namespace quillmap
