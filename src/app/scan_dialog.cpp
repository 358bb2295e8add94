#include "app/scan_dialog.h"

#include <cstdlib>

#include "config/app_identity.h"
#include "config/buffered_line_writer.h"
#include "config/cached_profile_reader.h"
#include "config/paths.h"
#include "modgraph/fast_module_scan.h"
#include "modgraph/module_graph_output.h"

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
      profile_(std::make_unique<CachedProfileReader>()),
      writer_(std::make_unique<BufferedLineWriter>()),
      moduleScan_(std::make_unique<FastModuleScan>()),
      moduleTable_(std::make_unique<ModuleTable>()) {
  const char* engine = std::getenv(kEngineVariable);
  if (engine != nullptr) UseEngines(ParseEngineChoice(engine));
}

ReferenceParts ParseEngineChoice(std::string_view value) {
  ReferenceParts parts;
  if (value == "reference") return {true, true, true, true};
  while (!value.empty()) {
    const size_t comma = value.find(',');
    const std::string_view word = value.substr(0, comma);
    if (word == "reference-reader") parts.reader = true;
    if (word == "reference-writer") parts.writer = true;
    if (word == "reference-modules") parts.modules = true;
    if (word == "reference-sources") parts.sources = true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return parts;
}

ScanDialog::~ScanDialog() = default;

void ScanDialog::SetProfileReader(std::unique_ptr<ProfileReader> reader) {
  profile_ = std::move(reader);
}
void ScanDialog::SetLineWriter(std::unique_ptr<LineWriter> writer) { writer_ = std::move(writer); }
void ScanDialog::SetModuleScanEngine(std::unique_ptr<ModuleScanEngine> engine) {
  moduleScan_ = std::move(engine);
}

void ScanDialog::UseReferenceEngines() { UseEngines({true, true, true, true}); }

void ScanDialog::UseEngines(const ReferenceParts& reference) {
  if (reference.reader) {
    profile_ = std::make_unique<RereadingProfileReader>();
  } else {
    profile_ = std::make_unique<CachedProfileReader>();
  }
  if (reference.writer) {
    writer_ = std::make_unique<PerLineWriter>();
  } else {
    writer_ = std::make_unique<BufferedLineWriter>();
  }
  if (reference.modules) {
    moduleScan_ = std::make_unique<RereadingModuleScan>();
  } else {
    moduleScan_ = std::make_unique<FastModuleScan>();
  }
  callGraphEngine_ = reference.sources ? CallGraphEngine::kReference : CallGraphEngine::kFast;
}

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
  try {
    // The run's inputs are not to be overwritten by its outputs. (DirectoryOf raises the file
    // error of a configuration that cannot be opened, before anything is written.)
    const std::string cfgDir = DirectoryOf(path);
    StringList inputs{path};
    for (StringList sources : {CallGraphSourcePaths(*profile_, path, cfgDir),
                               ModuleSourcePaths(*profile_, path, cfgDir)}) {
      inputs.insert(inputs.end(), sources.begin(), sources.end());
    }
    writer_->Protect(inputs);
    RunStations(context, path);
  } catch (...) {
    // What was written so far reaches the files, as it would line by line.
    writer_->EndRun();
    throw;
  }
}

void ScanDialog::RunStations(ScanContext& context, const std::string& path) {
  if (ReadModuleConfig(context, *moduleTable_, path) != 0 &&
      WriteModuleGraph(context, *moduleTable_, *moduleScan_) != 0) {
    AppendLog(kDoneEntry, false);
  }

  std::string scanMessage;
  if (ReadList(*profile_, path, kCallsList, callsList_) == 0) {
    scanMessage = kFilterError + path;
    context.NoteError();
  } else {
    ReadList(*profile_, path, kRejectList, rejectList_);
    ScanCounts counts;
    if (ScanCallGraph(context, path, {callsList_, rejectList_, fileList_}, &counts, &scanMessage,
                      callGraphEngine_) != 0) {
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
