/// The main dialog's logic, free of any toolkit: the scan state, the scan run, the activity log
/// and the start-up steps. It reaches the window system only through WindowSystem.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/window_system.h"
#include "callgraph/call_graph_scanner.h"
#include "config/line_writer.h"
#include "config/profile_reader.h"
#include "config/scan_context.h"
#include "modgraph/module_scan.h"
#include "modgraph/module_table.h"

namespace quillmap {

/// Where the project lives; shown in the title and the about box.
inline constexpr const char* kWebAddress = "https://github.com/quillmap/quillmap";
/// The environment variable that chooses the engines, for comparisons and timings: "reference"
/// for all the straightforward ones, or a comma-separated list of the parts that use theirs
/// ("reference-reader", "reference-writer", "reference-modules", "reference-sources"); anything
/// else, or nothing, keeps the fast ones.
inline constexpr const char* kEngineVariable = "QUILLMAP_ENGINE";

/// The parts of a scan run that use the straightforward engine.
struct ReferenceParts {
  bool reader = false;   // the configuration parsed for every lookup
  bool writer = false;   // every output line opened, written and closed
  bool modules = false;  // the modules scanned pair by pair
  bool sources = false;  // the call graph's sources read line by line
  bool operator==(const ReferenceParts&) const = default;
};
/// The parts that a value of kEngineVariable names; unknown words are left out.
ReferenceParts ParseEngineChoice(std::string_view value);
/// The configuration the dialog proposes, relative to the work path.
inline constexpr const char* kDefaultCfgPath = "test/TestModGraph.cfg";

/// How the last scan run ended, for hosts that report a status (the batch mode's exit code).
struct RunOutcome {
  bool started = false;        // the path edit named a configuration
  bool fileError = false;      // the configuration could not be opened
  bool finished = false;       // the run appended its final entry
  bool errorReported = false;  // a filter, file list, open or write error was reported
};

class ScanDialog : public ActivityLog {
 public:
  explicit ScanDialog(WindowSystem& window);
  ~ScanDialog() override;

  /// Start-up: sets the work path, logs it, parses the command line and, for an accepted
  /// "-cfg", runs one scan and asks to close; then proposes the default path and sets the title.
  void InitDialog(const std::vector<std::string>& args);

  /// The scan run. Throws FileError when the configuration cannot be opened.
  void RunScan();
  /// The "SCAN" button: a scan run whose file error is shown by the window system.
  void OnScanClicked();

  void AppendLog(const std::string& text, bool replace) override;
  void EnableInputs(bool enable);
  void UpdateTitle(const std::string& fileName);

  /// Replaces the engines that read the configuration, write the outputs, scan the modules
  /// and scan the sources of the call graph. The fast engines are the default; every engine
  /// gives the same log and the same output bytes.
  void SetProfileReader(std::unique_ptr<ProfileReader> reader);
  void SetLineWriter(std::unique_ptr<LineWriter> writer);
  void SetModuleScanEngine(std::unique_ptr<ModuleScanEngine> engine);
  void SetCallGraphEngine(CallGraphEngine engine) { callGraphEngine_ = engine; }
  /// The straightforward engines that the fast ones are compared with: the configuration parsed
  /// for every lookup, every output line opened, written and closed, the modules scanned pair by
  /// pair, the sources read line by line.
  void UseReferenceEngines();
  /// The straightforward engines for the given parts only, the fast ones for the others.
  void UseEngines(const ReferenceParts& reference);

  const RunOutcome& lastRun() const { return lastRun_; }
  const CmdLineState& cmdLine() const { return cmdLine_; }
  const StringList& callsList() const { return callsList_; }
  const StringList& rejectList() const { return rejectList_; }
  const StringList& fileList() const { return fileList_; }
  const ModuleTable& moduleTable() const { return *moduleTable_; }
  WindowSystem& window() { return window_; }

 private:
  // The stations of a run from the module graph on, with its final entries.
  void RunStations(ScanContext& context, const std::string& path);

  WindowSystem& window_;
  std::unique_ptr<ProfileReader> profile_;
  std::unique_ptr<LineWriter> writer_;
  std::unique_ptr<ModuleScanEngine> moduleScan_;
  CallGraphEngine callGraphEngine_ = CallGraphEngine::kFast;

  StringList rejectList_;
  StringList callsList_;
  StringList fileList_;
  std::unique_ptr<ModuleTable> moduleTable_;
  CmdLineState cmdLine_;
  RunOutcome lastRun_;
};

}  // namespace quillmap
