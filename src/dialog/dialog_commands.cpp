#include "dialog/dialog_commands.h"

#include "config/starting_config.h"
#include "files/paths.h"

namespace quillmap {

namespace {
constexpr size_t kMaxFileNameLength = 255;
constexpr int kRunInputs[] = {kPathEdit, kCfgFileButton, kScanButton, kNewCfgButton};

// Holds the inputs disabled for the lifetime of one run, also when the run ends by an exception.
class InputsHeldDuringRun {
 public:
  InputsHeldDuringRun(WindowSystem& window, bool& running) : window_(window), running_(running) {
    running_ = true;
    for (int id : kRunInputs) window_.EnableItem(id, false);
  }
  ~InputsHeldDuringRun() {
    for (int id : kRunInputs) window_.EnableItem(id, true);
    running_ = false;
  }
  InputsHeldDuringRun(const InputsHeldDuringRun&) = delete;
  InputsHeldDuringRun& operator=(const InputsHeldDuringRun&) = delete;

 private:
  WindowSystem& window_;
  bool& running_;
};
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
  if (result.status != StartingConfigResult::Status::kWritten) {
    dialog_.window().ShowMessage(result.message);
    return;
  }
  try {
    TakeCfgPath(result.path);
  } catch (const FileError& error) {
    dialog_.window().ShowFileError(error);
  }
}

void DialogCommands::OnScanClicked() {
  if (scanRunning_) return;
  InputsHeldDuringRun hold(dialog_.window(), scanRunning_);
  dialog_.OnScanClicked();
}

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
  dialog_.window().SetItemText(kPathEdit, path);
  dialog_.UpdateTitle(FileNameOf(path));
}

}  // namespace quillmap
