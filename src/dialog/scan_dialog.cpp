#include "dialog/scan_dialog.h"

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>

#include "config/app_identity.h"
#include "config/starting_config.h"
#include "files/paths.h"
#include "render/render_settings.h"

namespace quillmap {

namespace {
constexpr const char* kPictureFormats[] = {"svg", "png", "pdf"};

bool IsFolder(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}
}  // namespace

std::string CfgPathProblem(const std::string& path) {
  if (path.empty()) return kNoConfigurationGiven;
  if (IsFolder(path)) return path + kIsAFolder;
  return {};
}

std::string NamePartOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

ScanDialog::ScanDialog(WindowSystem& window) : window_(window) {}

ScanDialog::~ScanDialog() = default;

void ScanDialog::AppendLog(const std::string& text, bool replace) {
  if (!window_.HasItem(kLogEdit)) return;
  if (replace) {
    window_.SetItemText(kLogEdit, text);
    logLines_ = 0;
  } else if (window_.IsItemTextEmpty(kLogEdit)) {
    window_.AppendItemText(kLogEdit, text);
  } else {
    window_.AppendItemText(kLogEdit, "\r\n" + text);
    ++logLines_;
  }
  logLines_ += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  window_.OnLogEntry(text, replace);
}

void ScanDialog::AppendErrorEntry(const std::string& text) {
  AppendLog(text, false);
  NoteErrorEntry(text, logLines_ - static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
}

void ScanDialog::NoteErrorEntry(const std::string& text, size_t line) {
  // The final entry repeats the error that ended the scan: listed once.
  const bool known = std::any_of(errors_.begin(), errors_.end(),
                                 [&text](const ErrorEntry& entry) { return entry.text == text; });
  if (!known) errors_.push_back({text, line});
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

void ScanDialog::UpdateTitleFromPathEdit() {
  UpdateTitle(NamePartOf(window_.GetItemText(kPathEdit)));
}

void ScanDialog::SetCfgPath(const std::string& path) {
  window_.SetItemText(kPathEdit, path);
  UpdateTitleFromPathEdit();
}

void ScanDialog::SetStatus(RunStatus status) {
  status_ = std::move(status);
  window_.ShowStatus(status_);
}

std::string ScanDialog::BeginRun() {
  lastRun_ = RunOutcome{};
  errors_.clear();
  graphView_.Clear();
  functionList_.Clear();
  // The list's graph goes with the run that starts.
  reachList_ = ReachList();
  AppendLog("", true);
  std::string path = window_.GetItemText(kPathEdit);
  if (!path.empty() && path[0] == '.') path = WorkPath() + path;
  const std::string problem = CfgPathProblem(path);
  if (!problem.empty()) {
    // A folder with a configuration of its own: that one is offered for the next click.
    const std::string inside = path + (path.ends_with('/') ? "" : "/") + kStartingConfigName;
    if (IsFolder(path) && IsFile(inside)) {
      SetCfgPath(inside);
      AppendLog(problem + kItsCfgOffered, false);
      SetStatus(NotRunStatus(problem));
      return {};
    }
    AppendLog(problem, false);
    SetStatus(NotRunStatus(problem));
    return {};
  }
  lastRun_.started = true;
  lastCfgPath_ = path;
  runOutputs_ = OutputSettings{};
  return path;
}

void ScanDialog::EndRun() {
  // Taken from the run once it ended: a run under way is rewriting its settings.
  runOutputs_ = scan_.settings().outputs;
  SetStatus(EndedStatus(lastRun_, errors_.size()));
  if (lastRun_.finished && !lastRun_.stopped) {
    graphView_.TakeRun(scan_);
    functionList_.TakeRun(scan_.model());
  }
  // The run's threads freed what they worked with, but their heaps keep the pages: given back
  // (on a whole tree some tens of MB that the window would hold for nothing).
  malloc_trim(0);
  recent_.Add(lastCfgPath_);
  window_.OnRunEnded();
}

void ScanDialog::NoteFileError(const FileError& error) {
  lastRun_.started = true;
  lastRun_.fileError = true;
  AppendErrorEntry(error.what());
  SetStatus(NotRunStatus(error.what()));
  window_.OnRunEnded();
}

void ScanDialog::RunScan() {
  const std::string path = BeginRun();
  if (path.empty()) return;
  try {
    lastRun_ = scan_.Run(path, *this);
  } catch (const FileError& error) {
    NoteFileError(error);
    throw;
  }
  EndRun();
}

void ScanDialog::OnScanClicked() {
  try {
    RunScan();
  } catch (const FileError& error) {
    window_.ShowFileError(error);
  }
}

bool ScanDialog::StartScan() {
  if (background_) return false;
  const std::string path = BeginRun();
  if (path.empty()) return false;
  background_ = std::make_unique<BackgroundScan>(scan_, path, true);
  SetStatus(RunningStatus({}, false));
  return true;
}

bool ScanDialog::PollRun() {
  if (!background_) return false;
  // Whether the run had ended is read before its log is taken, so nothing is left behind.
  const bool ended = background_->ended();
  RunLogBuffer::Batch batch = background_->log().Take();
  if (!batch.empty() && window_.HasItem(kLogEdit)) {
    const size_t lineBase = batch.replace ? 0 : logLines_;
    if (batch.replace) {
      window_.SetItemText(kLogEdit, batch.text);
      logLines_ = 0;
    } else {
      window_.AppendItemText(kLogEdit, batch.text);
    }
    logLines_ += static_cast<size_t>(std::count(batch.text.begin(), batch.text.end(), '\n'));
    for (const ErrorEntry& entry : batch.errors) NoteErrorEntry(entry.text, lineBase + entry.line);
    window_.OnLogEntry(batch.text, batch.replace);
  }
  if (!ended) {
    SetStatus(RunningStatus(background_->progress(), background_->stopRequested()));
    return true;
  }
  try {
    lastRun_ = background_->Finish();
    background_.reset();
    EndRun();
  } catch (const FileError& error) {
    background_.reset();
    NoteFileError(error);
    window_.ShowFileError(error);
  }
  return false;
}

void ScanDialog::RequestStop() {
  if (!background_) return;
  background_->RequestStop();
  SetStatus(RunningStatus(background_->progress(), true));
}

const ReachList& ScanDialog::AskReach(const ReachQuery& query) {
  // The graph is the scan run's; a run under way is refilling it.
  if (background_ || functionList_.index() == nullptr) {
    reachList_ = ReachList(kNoRunToAsk);
  } else {
    reachList_ = ReachList(scan_.ReachGraph(), query, scan_.deadEntries());
  }
  return reachList_;
}

std::vector<std::string> ScanDialog::OutputFiles() const {
  std::vector<std::string> files;
  if (lastCfgPath_.empty() || !IsFile(lastCfgPath_)) return files;
  const std::string folder = DirectoryOf(lastCfgPath_);
  std::vector<std::string> dotFiles;
  const CallGraphOutputPaths outputs = ResolveCallGraphOutputPaths(runOutputs_, folder);
  for (const std::string* path : {&outputs.dot, &outputs.csv}) {
    if (path->empty()) continue;
    files.push_back(*path);
    if (path == &outputs.dot) dotFiles.push_back(files.back());
  }
  const ModuleTable& modules = scan_.moduleTable();
  if (modules.moduleCount > 0) {
    files.push_back(modules.moduleDotPath);
    dotFiles.push_back(modules.moduleDotPath);
    files.push_back(modules.moduleLogPath);
  }
  for (const std::string& dot : dotFiles) {
    for (const char* format : kPictureFormats) files.push_back(PicturePath(dot, format));
  }
  std::erase_if(files, [](const std::string& path) { return path.empty() || !IsFile(path); });
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
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
      // The start-up ends here: the dialog stays open with the path and the error in the log.
      UpdateTitleFromPathEdit();
      window_.ShowFileError(error);
      return;
    }
    window_.RequestClose();
  }
  std::string proposed;
  if (IsFile(WorkPath() + kDefaultCfgPath)) {
    proposed = WorkPath() + kDefaultCfgPath;
  } else {
    const auto& recent = recent_.paths();
    const auto found = std::find_if(recent.begin(), recent.end(), IsFile);
    if (found != recent.end()) proposed = *found;
  }
  window_.SetItemText(kPathEdit, proposed);
  UpdateTitleFromPathEdit();
}

}  // namespace quillmap
