#include "app/scan_dialog.h"

#include "config/app_identity.h"
#include "config/paths.h"

namespace quillmap {

namespace {
constexpr const char* kWorkPathEntry = "work path: ";
constexpr const char* kDoneEntry = "done...";
constexpr const char* kFilterError = "error reading scan filters from: ";
constexpr const char* kCallsList = "calls";
constexpr const char* kRejectList = "reject";

std::string Summary(const ScanCounts& counts) {
  return "\r\n" + std::to_string(counts.lines) + " lines, " + std::to_string(counts.chars) +
         " chars, " + std::to_string(counts.functions) + " fcts";
}
}  // namespace

ScanDialog::ScanDialog(WindowSystem& window)
    : window_(window),
      profile_(std::make_unique<RereadingProfileReader>()),
      writer_(std::make_unique<PerLineWriter>()),
      moduleTable_(std::make_unique<ModuleTable>()) {}

ScanDialog::~ScanDialog() = default;

void ScanDialog::SetProfileReader(std::unique_ptr<ProfileReader> reader) {
  profile_ = std::move(reader);
}
void ScanDialog::SetLineWriter(std::unique_ptr<LineWriter> writer) { writer_ = std::move(writer); }

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

  ScanContext context(*profile_, *writer_, *this);
  writer_->BeginRun();
  if (ReadModuleConfig(context, *moduleTable_, path) != 0 &&
      WriteModuleGraph(context, *moduleTable_) != 0) {
    AppendLog(kDoneEntry, false);
  }

  std::string scanMessage;
  if (ReadList(*profile_, path, kCallsList, callsList_) == 0) {
    scanMessage = kFilterError + path;
    context.NoteError();
  } else {
    ReadList(*profile_, path, kRejectList, rejectList_);
    ScanCounts counts;
    if (ScanCallGraph(context, path, {callsList_, rejectList_, fileList_}, &counts,
                      &scanMessage) != 0) {
      scanMessage = Summary(counts);
    }
  }

  writer_->EndRun();
  for (const std::string& failed : writer_->FailedPaths()) {
    AppendLog(ErrorWritingText(failed), false);
    context.NoteError();
  }
  AppendLog(scanMessage, false);
  lastRun_.finished = true;
  lastRun_.errorReported = context.errorReported();
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
