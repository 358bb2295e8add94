/// The main dialog's logic, free of any toolkit: the scan state, the scan run (in the window's
/// thread, or on a worker thread that the window polls), the activity log, the run's status and
/// error entries, the Graph view of its result and the start-up steps. It reaches the window
/// system only through WindowSystem.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/command_line.h"
#include "dialog/background_scan.h"
#include "dialog/function_list.h"
#include "dialog/graph_view.h"
#include "dialog/reach_list.h"
#include "dialog/recent_configurations.h"
#include "dialog/run_status.h"
#include "dialog/window_system.h"
#include "context/scan_context.h"
#include "scan/scan_run.h"

namespace quillmap {

/// The configuration the dialog proposes, relative to the work path, when it exists.
inline constexpr const char* kDefaultCfgPath = "test/TestModGraph.cfg";
/// Said of a folder given as the configuration, after its path.
inline constexpr const char* kIsAFolder = " is a folder, not a scan configuration";
inline constexpr const char* kItsCfgOffered =
    ": its quillmap.cfg is in the path edit now, SCAN scans it";

/// Why `path` (already completed) cannot be scanned: "" when it may be, else the message.
std::string CfgPathProblem(const std::string& path);
/// The file-name part of a path as typed (after its last '/'); no file is looked at.
std::string NamePartOf(const std::string& path);

class ScanDialog : public ActivityLog {
 public:
  explicit ScanDialog(WindowSystem& window);
  ~ScanDialog() override;

  /// Start-up: sets the work path, logs it, parses the command line and, for an accepted
  /// "-cfg", runs one scan and asks to close; then proposes the default path when that file
  /// exists (else the most recent configuration that exists) and sets the title.
  void InitDialog(const std::vector<std::string>& args);

  /// The scan run in the calling thread. A path that cannot be scanned ends it with a log
  /// entry and the status; throws FileError when the configuration cannot be opened (the error
  /// is in the log and the status first).
  void RunScan();
  /// RunScan whose file error is shown by the window system.
  void OnScanClicked();

  /// Starts the scan of the path edit's configuration on a worker thread. False when it did not
  /// start (a run is under way, or the path cannot be scanned: then the log and status say so).
  bool StartScan();
  /// Called by the window's thread while a run started by StartScan is under way: hands the log
  /// over in a batch and shows the progress; when the run has ended, finishes it (its file error
  /// shown by the window system). Returns whether the run is still under way.
  bool PollRun();
  /// Asks the run under way to stop at its next source.
  void RequestStop();
  bool running() const { return background_ != nullptr; }

  void AppendLog(const std::string& text, bool replace) override;
  void AppendErrorEntry(const std::string& text) override;
  void EnableInputs(bool enable);
  void UpdateTitle(const std::string& fileName);
  /// The title names the configuration in the path edit, as typed.
  void UpdateTitleFromPathEdit();
  /// Puts `path` into the path edit and names it in the title.
  void SetCfgPath(const std::string& path);

  /// The scan run behind the dialog, with its engines.
  ScanRun& scanRun() { return scan_; }
  /// The straightforward engines for every part (see ScanRun::UseEngines).
  void UseReferenceEngines() { scan_.UseEngines({true, true, true, true}); }

  const RunOutcome& lastRun() const { return lastRun_; }
  const RunStatus& status() const { return status_; }
  /// The error entries of the last run, each once, with the log line where it starts.
  const std::vector<ErrorEntry>& errorEntries() const { return errors_; }
  /// The configuration of the last run (completed), "" before the first.
  const std::string& lastCfgPath() const { return lastCfgPath_; }
  /// The output files of the last run that exist: DOT files, CSV report, module log, pictures.
  std::vector<std::string> OutputFiles() const;
  GraphView& graphView() { return graphView_; }
  FunctionList& functionList() { return functionList_; }
  /// Answers a reachability query over the last finished run (its graph is built by the first
  /// query of a run); the list stays until the next query or run.
  const ReachList& AskReach(const ReachQuery& query);
  const ReachList& reachList() const { return reachList_; }
  RecentConfigurations& recent() { return recent_; }
  const CmdLineState& cmdLine() const { return cmdLine_; }
  const StringList& callsList() const { return scan_.callsList(); }
  const StringList& rejectList() const { return scan_.rejectList(); }
  const StringList& fileList() const { return scan_.fileList(); }
  const ModuleTable& moduleTable() const { return scan_.moduleTable(); }
  WindowSystem& window() { return window_; }

 private:
  // Empties the log and the last run's record; the completed path to scan, or "" when the path
  // edit's cannot be (then said in the log and the status).
  std::string BeginRun();
  // Status, graphs and recent list of a run that returned.
  void EndRun();
  // A configuration that could not be opened: in the log and the status.
  void NoteFileError(const FileError& error);
  void NoteErrorEntry(const std::string& text, size_t line);
  void SetStatus(RunStatus status);

  WindowSystem& window_;
  ScanRun scan_;
  CmdLineState cmdLine_;
  RunOutcome lastRun_;
  RunStatus status_;
  std::vector<ErrorEntry> errors_;
  std::string lastCfgPath_;
  OutputSettings runOutputs_;  // the outputs of the last run that ended
  size_t logLines_ = 0;  // line feeds in the log since it was last replaced
  std::unique_ptr<BackgroundScan> background_;
  GraphView graphView_;
  FunctionList functionList_;
  ReachList reachList_;
  RecentConfigurations recent_;
};

}  // namespace quillmap
