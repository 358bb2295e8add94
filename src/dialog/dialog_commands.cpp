#include "dialog/dialog_commands.h"

#include "config/starting_config.h"
#include "files/paths.h"

namespace quillmap {

namespace {
constexpr size_t kMaxFileNameLength = 255;
constexpr int kRunInputs[] = {kPathEdit, kCfgFileButton, kScanButton, kNewCfgButton};
}  // namespace

std::string FileNameOf(const std::string& path) {
  CheckReadableFile(path);
  const std::string full = FullPathOf(path);
  return full.substr(full.find_last_of('/') + 1).substr(0, kMaxFileNameLength);
}

DialogCommands::DialogCommands(ScanDialog& dialog, std::unique_ptr<FileChooser> chooser)
    : dialog_(dialog), chooser_(std::move(chooser)) {}

DialogCommands::~DialogCommands() = default;

void DialogCommands::SetFileChooser(std::unique_ptr<FileChooser> chooser) {
  chooser_ = std::move(chooser);
}

void DialogCommands::SetFolderChooser(std::unique_ptr<FolderChooser> chooser) {
  folderChooser_ = std::move(chooser);
}

void DialogCommands::OnNewCfgClicked() {
  if (scanRunning_ || folderChooser_ == nullptr) return;
  const std::optional<std::string> folder = folderChooser_->ChooseFolder();
  if (!folder || folder->empty()) return;
  const StartingConfigResult result = WriteStartingConfig(*folder);
  // A folder that has its configuration already: that one is loaded, untouched.
  const bool usable = result.status == StartingConfigResult::Status::kWritten ||
                      result.status == StartingConfigResult::Status::kExists;
  if (!usable) {
    dialog_.window().ShowMessage(result.message);
    return;
  }
  try {
    TakeCfgPath(result.path);
  } catch (const FileError& error) {
    dialog_.window().ShowFileError(error);
  }
}

void DialogCommands::HoldInputs(bool hold) {
  scanRunning_ = hold;
  for (int id : kRunInputs) dialog_.window().EnableItem(id, !hold);
  dialog_.window().EnableItem(kCancelButton, hold);
}

void DialogCommands::OnScanClicked() {
  if (scanRunning_) return;
  // Held before the start, whose own log entries may let a second click through.
  HoldInputs(true);
  if (!dialog_.StartScan()) HoldInputs(false);
}

bool DialogCommands::PollRun() {
  if (!scanRunning_) return false;
  if (dialog_.PollRun()) return true;
  HoldInputs(false);
  return false;
}

void DialogCommands::OnCancelClicked() { dialog_.RequestStop(); }

void DialogCommands::RunScanHere() {
  if (scanRunning_) return;
  HoldInputs(true);
  dialog_.OnScanClicked();
  HoldInputs(false);
}

void DialogCommands::OnPathEdited() { dialog_.UpdateTitleFromPathEdit(); }

void DialogCommands::OnCfgFileClicked() {
  if (scanRunning_) return;
  try {
    ChooseCfgFile();
  } catch (const FileError& error) {
    dialog_.window().ShowFileError(error);
  }
}

void DialogCommands::ChooseCfgFile() {
  if (chooser_ == nullptr) return;
  const std::optional<std::string> chosen = chooser_->ChooseFile();
  if (!chosen || chosen->empty()) return;
  TakeCfgPath(*chosen);
}

bool DialogCommands::OnFilesDropped(const std::vector<std::string>& paths) {
  if (scanRunning_ || paths.size() != 1) return false;
  try {
    TakeCfgPath(paths[0]);
  } catch (const FileError& error) {
    dialog_.window().ShowFileError(error);
  }
  return true;
}

void DialogCommands::TakeCfgPath(const std::string& path) {
  dialog_.SetCfgPath(path);
  const std::string problem = CfgPathProblem(path);
  if (!problem.empty()) {
    dialog_.window().ShowMessage(problem);
    return;
  }
  FileNameOf(path);  // a file that cannot be opened is reported now
}

}  // namespace quillmap
