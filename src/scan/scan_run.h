/// One scan run, free of any window: a configuration path in, the activity log out through an
/// ActivityLog, the outputs written, and the outcome returned. The batch mode and the dialog are
/// two hosts of this one run.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "callgraph/call_graph_scanner.h"
#include "config/profile_reader.h"
#include "model/graph_model.h"
#include "modgraph/module_scan.h"
#include "modgraph/module_table.h"
#include "outputs/line_writer.h"
#include "query/model_query.h"
#include "reach/call_reach.h"
#include "rules/module_rule_check.h"
#include "sarif/sarif_log.h"
#include "context/scan_context.h"
#include "scan/run_outcome.h"
#include "text/text_utils.h"

namespace quillmap {

/// The environment variable that chooses the engines, for comparisons and timings: "reference"
/// for all the straightforward ones, or a comma-separated list of the parts that use theirs
/// ("reference-reader", "reference-writer", "reference-modules", "reference-sources"); anything
/// else, or nothing, keeps the fast ones.
inline constexpr const char* kEngineVariable = "QUILLMAP_ENGINE";

/// The first entry of every host's activity log, followed by the work path.
inline constexpr const char* kWorkPathEntry = "work path: ";

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

class ScanRun {
 public:
  /// The engines are the fast ones unless kEngineVariable asks for others.
  ScanRun();
  ~ScanRun();

  /// Runs the scan of the configuration at `cfgPath` (already completed to a full path),
  /// reporting to `log`. Throws FileError when the configuration cannot be opened; what was
  /// written before reaches its files.
  RunOutcome Run(const std::string& cfgPath, ActivityLog& log);
  /// The same, with `observer` told the progress and asked at every source whether to stop.
  RunOutcome Run(const std::string& cfgPath, ActivityLog& log, RunObserver* observer);

  /// Replaces the engines that read the configuration, write the outputs, scan the modules
  /// and scan the sources of the call graph. Every engine gives the same log and output bytes.
  void SetProfileReader(std::unique_ptr<ProfileReader> reader);
  void SetLineWriter(std::unique_ptr<LineWriter> writer);
  void SetModuleScanEngine(std::unique_ptr<ModuleScanEngine> engine);
  void SetCallGraphEngine(CallGraphEngine engine) { callGraphEngine_ = engine; }
  /// Options of the command line; those that name a graph query ("-focus", "-depth", ...) win
  /// over the keys of the same name in "[dot]".
  void SetCommandLineOptions(std::map<std::string, std::string> options) {
    commandLineOptions_ = std::move(options);
  }
  /// The straightforward engines for the given parts only, the fast ones for the others.
  void UseEngines(const ReferenceParts& reference);
  /// Makes the runs write their module rule violations to `path` (see ModuleRuleCheck).
  void SetBaselineOutput(std::string path) { baselineOutput_ = std::move(path); }

  const StringList& callsList() const { return callsList_; }
  const StringList& rejectList() const { return rejectList_; }
  const StringList& fileList() const { return fileList_; }
  const ModuleTable& moduleTable() const { return *moduleTable_; }
  /// The settings of the last run, read when it started.
  const ScanSettings& settings() const { return settings_; }
  /// What the last run found.
  const GraphModel& model() const { return model_; }
  /// Hands what the last run found to a front end that keeps its own view of it; the run's
  /// model is empty after.
  GraphModel TakeModel() { return std::move(model_); }
  /// The last run's call graph as definitions and the calls between them, for reachability.
  /// Built when a call rule, a SARIF log or ReachGraph() asks for it.
  const CallReachGraph& ReachGraph();
  /// Claims `path` for a file written after the run (a query's answer) under the rule of the
  /// run's outputs: false when it names the configuration, a source or an output of the run.
  bool ClaimOutput(const std::string& path) { return writer_->ClaimFile(path); }
  /// The entry points that "[rules] entry" adds to `main` for the unreached functions.
  const std::vector<std::string>& deadEntries() const { return deadEntries_; }
  /// The last run's rule violations, with where they stand.
  const RunFindings& findings() const { return findings_; }

 private:
  // Ends a run that its host stopped: no output written, the previous ones left as they were.
  void StopRun(ScanContext& context, RunOutcome& outcome);
  // The graph model as JSON when the configuration names a file for it ("[files] json").
  void WriteJsonExport(ScanContext& context, const std::string& path, const ModuleRuleCheck& rules,
                       const std::string& scanMessage, StringList errors);
  // The stations of a run from the module graph on, with its final entries.
  void RunStations(ScanContext& context, const std::string& path, RunOutcome& outcome);
  // What the call graph's DOT file shows: the graph queries of the command line and "[dot]".
  GraphSelection SelectCallGraph(ScanContext& context);
  // What the module graph's DOT file shows: "[modules] focus", "direction" and "depth". Nothing
  // without them, so that the module graph is written whole, as before.
  std::optional<GraphSelection> SelectModuleGraph(ScanContext& context);
  // The call rules over the finished model, and the run's findings for the SARIF log.
  void CheckCallRules(ScanContext& context, const std::string& path, const ModuleRuleCheck& rules,
                      bool callRulesConfigured, RunOutcome& outcome);
  // The SARIF log when the command line ("-sarif") or "[files] sarif" names a file for it.
  void WriteSarif(ScanContext& context, const std::string& path);

  std::unique_ptr<ProfileReader> profile_;
  ScanSettings settings_;
  std::unique_ptr<LineWriter> writer_;
  std::unique_ptr<ModuleScanEngine> moduleScan_;
  CallGraphEngine callGraphEngine_ = CallGraphEngine::kFast;
  std::map<std::string, std::string> commandLineOptions_;
  std::string baselineOutput_;

  StringList rejectList_;
  StringList callsList_;
  StringList fileList_;
  std::unique_ptr<ModuleTable> moduleTable_;
  GraphModel model_;
  std::unique_ptr<CallReachGraph> reachGraph_;
  RunFindings findings_;
  std::vector<std::string> deadEntries_;
};

}  // namespace quillmap
