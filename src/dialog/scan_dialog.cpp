#include "dialog/scan_dialog.h"

#include "config/app_identity.h"
#include "files/paths.h"

namespace quillmap {

ScanDialog::ScanDialog(WindowSystem& window) : window_(window) {}

ScanDialog::~ScanDialog() = default;

void ScanDialog::AppendLog(const std::string& text, bool replace) {
  if (!window_.HasItem(kLogEdit)) return;
  if (replace) {
    window_.SetItemText(kLogEdit, text);
  } else if (window_.IsItemTextEmpty(kLogEdit)) {
    window_.AppendItemText(kLogEdit, text);
  } else {
    window_.AppendItemText(kLogEdit, "\r\n" + text);
  }
  window_.OnLogEntry(text, replace);
}

void ScanDialog::EnableInputs(bool enable) {
  window_.EnableItem(kPathEdit, enable);
  window_.EnableItem(kCfgFileButton, enable);
}

void ScanDialog::UpdateTitle(const std::string& fileName) {
  std::string title = ApplicationName() + " - " + kWebAddress;
  if (!fileName.empty()) title += " [" + fileName + " ]";
  window_.SetTitle(title);
}

void ScanDialog::RunScan() {
  lastRun_ = RunOutcome{};
  AppendLog("", true);
  std::string path = window_.GetItemText(kPathEdit);
  if (path.empty()) return;
  lastRun_.started = true;
  if (path[0] == '.') path = WorkPath() + path;
  lastRun_ = scan_.Run(path, *this);
}

void ScanDialog::OnScanClicked() {
  try {
    RunScan();
  } catch (const FileError& error) {
    lastRun_.fileError = true;
    window_.ShowFileError(error);
  }
}

void ScanDialog::InitDialog(const std::vector<std::string>& args) {
  SetWorkPath(CurrentDirectoryPath());
  EnableInputs(true);
  AppendLog(kWorkPathEntry + WorkPath(), false);
  cmdLine_ = ParseCommandLine(args, WorkPath());
  if (cmdLine_.runAtStart) {
    window_.SetItemText(kPathEdit, cmdLine_.cmdCfgPath);
    try {
      RunScan();
    } catch (const FileError& error) {
      // The start-up ends here: the dialog stays open with the path and an empty log.
      lastRun_.fileError = true;
      window_.ShowFileError(error);
      return;
    }
    window_.RequestClose();
  }
  window_.SetItemText(kPathEdit, WorkPath() + kDefaultCfgPath);
  UpdateTitle("");
}

}  // namespace quillmap
