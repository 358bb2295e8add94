#include "scan/scan_run.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "callgraph/c_call_graph_scan.h"
#include "config/app_identity.h"
#include "config/cached_profile_reader.h"
#include "config/compile_options.h"
#include "config/source_lists.h"
#include "files/file_error.h"
#include "files/paths.h"
#include "files/source_file.h"
#include "json/graph_json.h"
#include "modgraph/fast_module_scan.h"
#include "modgraph/module_graph_output.h"
#include "modgraph/module_view.h"
#include "outputs/buffered_line_writer.h"
#include "query/model_query.h"
#include "render/render_step.h"
#include "rules/call_rule_check.h"
#include "rules/module_rule_check.h"
#include "scan/deferred_log.h"
#include "writers/csv_report.h"

namespace quillmap {

namespace {
constexpr const char* kDoneEntry = "done...";
constexpr const char* kStoppedEntry = "stopped: no output was written";
constexpr const char* kFilterError = "error reading scan filters from: ";
constexpr const char* kSarifKey = "sarif";
constexpr const char* kStandardOutputPath = "/proc/self/fd/1";
// A stopped run logs the last entries of its call graph scan, which waited for the module
// graph's, and counts the others: its host is not kept waiting for a whole tree's entries.
constexpr size_t kStoppedCallGraphEntries = 1000;
std::string LeftOutEntries(size_t count) {
  std::string text = std::to_string(count);
  text += " entries of the call graph scan left out: the run was stopped)";
  return '(' + text;
}

std::string Summary(const ScanCounts& counts) {
  return "\r\n" + std::to_string(counts.lines) + " lines, " + std::to_string(counts.chars) +
         " chars, " + std::to_string(counts.functions) + " fcts";
}
// Memory that the heaps hold free goes back to the system, where the C library can do that.
void GiveBackFreePages() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

// Whether a filter selects every called name: the call graph then interns the names that the
// module graph's findings hold.
bool SelectsEveryCall(const StringList& filters) {
  for (const std::string& filter : filters) {
    if (GetField(filter, 0) == "*") return true;
  }
  return false;
}

// The modules of the table with the calls between them.
// The table's calls and function lists move to the model: on large trees they are the largest
// part of the table, and the outputs read them from the model from here on.
void FillModuleModel(ModuleTable& table, ModuleModel& model) {
  model.modules.clear();
  for (int k = 0; k < table.moduleCount; ++k) {
    ModuleRecord& record = table.modules[static_cast<size_t>(k)];
    if (record.valid)
      model.modules.push_back(
          {record.moduleName, record.files, std::move(record.definedFunctions)});
  }
  // The valid records are the first ones, so record indexes are module indexes.
  model.calls = std::move(table.calls);
  table.calls.clear();
}
// The module of every call graph function whose source belongs to one (the first module that
// lists the file).
void AssignFunctionModules(GraphModel& model) {
  std::unordered_map<std::string, int32_t> moduleOfFile;
  for (size_t m = 0; m < model.moduleGraph.modules.size(); ++m) {
    for (const std::string& file : model.moduleGraph.modules[m].files) {
      moduleOfFile.emplace(file, static_cast<int32_t>(m));
    }
  }
  CallGraphModel& callGraph = model.callGraph;
  for (FunctionRecord& function : callGraph.functions) {
    if (function.file < 0) continue;
    const auto it = moduleOfFile.find(callGraph.sources[static_cast<size_t>(function.file)].path);
    function.module = it == moduleOfFile.end() ? -1 : it->second;
  }
}

// The macros of the configured headers and of those in the build's include folders, which the
// resolved mode expands where sources use them. A header that cannot be read gives none; a
// pattern that matches nothing is noted in the log.
void ReadHeaderMacros(ScanContext& context, const std::string& path, MacroTable& table,
                      const StringList& includeFolders) {
  SourceList headers = HeaderPaths(context.settings(), DirectoryOf(path));
  for (const std::string& problem : headers.problems) context.Log(problem);
  if (!includeFolders.empty()) {
    std::unordered_set<std::string> listed(headers.paths.begin(), headers.paths.end());
    for (std::string& header :
         IncludeFolderHeaders(context.settings(), DirectoryOf(path), includeFolders).paths) {
      if (listed.insert(header).second) headers.paths.push_back(std::move(header));
    }
  }
  const auto load = [&headers](size_t i, std::string& text) {
    SourceFile file;
    if (!file.Open(headers.paths[i])) return false;
    char buffer[1 << 16];
    ssize_t n = 0;
    while ((n = file.Read(buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return true;
  };
  // A large tree has tens of thousands of headers: every core reads them.
  const unsigned cores = std::thread::hardware_concurrency();
  table.ReadAll(headers.paths.size(), load, [&context] { return context.stopped(); },
                cores >= 2 ? cores : 0);
}

}  // namespace

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

ScanRun::ScanRun()
    : profile_(std::make_unique<CachedProfileReader>()),
      writer_(std::make_unique<BufferedLineWriter>()),
      moduleScan_(std::make_unique<FastModuleScan>()),
      moduleTable_(std::make_unique<ModuleTable>()) {
  const char* engine = std::getenv(kEngineVariable);
  if (engine != nullptr) UseEngines(ParseEngineChoice(engine));
}

ScanRun::~ScanRun() = default;

void ScanRun::SetProfileReader(std::unique_ptr<ProfileReader> reader) {
  profile_ = std::move(reader);
}
void ScanRun::SetLineWriter(std::unique_ptr<LineWriter> writer) { writer_ = std::move(writer); }
void ScanRun::SetModuleScanEngine(std::unique_ptr<ModuleScanEngine> engine) {
  moduleScan_ = std::move(engine);
}

void ScanRun::UseEngines(const ReferenceParts& reference) {
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

RunOutcome ScanRun::Run(const std::string& path, ActivityLog& log) {
  return Run(path, log, nullptr);
}

RunOutcome ScanRun::Run(const std::string& path, ActivityLog& log, RunObserver* observer) {
  findings_ = RunFindings{};
  deadEntries_.clear();
  reachGraph_.reset();
  model_ = GraphModel{};
  RunOutcome outcome;
  outcome.started = true;
  settings_ = ScanSettings{};
  ScanContext context(settings_, *writer_, log, observer);
  writer_->BeginRun();
  try {
    // The run's inputs are not to be overwritten by its outputs. (DirectoryOf raises the file
    // error of a configuration that cannot be opened, before anything is written.)
    const std::string cfgDir = DirectoryOf(path);
    // The settings are read once, here; no stage looks a key up.
    settings_ = ReadScanSettings(*profile_, path);
    StringList inputs{path};
    for (StringList sources : {context.sourceLists().CallGraph(settings_, cfgDir).paths,
                               ModuleSourcePaths(context.sourceLists(), settings_, cfgDir)}) {
      inputs.insert(inputs.end(), sources.begin(), sources.end());
    }
    // Nor is the file that standard output (the batch mode's activity log) is redirected to.
    struct stat standardOutput {};
    if (fstat(STDOUT_FILENO, &standardOutput) == 0 && S_ISREG(standardOutput.st_mode)) {
      inputs.push_back(kStandardOutputPath);
    }
    writer_->Protect(inputs);
    RunStations(context, path, outcome);
  } catch (const FileError&) {
    // The configuration went away: what was written so far reaches the files.
    writer_->EndRun();
    throw;
  } catch (...) {
    // An internal failure: no output is replaced by what may be cut.
    writer_->AbandonRun();
    throw;
  }
  return outcome;
}

GraphSelection ScanRun::SelectCallGraph(ScanContext& context) {
  QueryOptionTexts texts = settings_.dot.queries;
  for (const char* option : kQueryOptions) {
    const auto given = commandLineOptions_.find(option);
    if (given != commandLineOptions_.end()) texts[option] = given->second;
  }
  const GraphQueryResult query = ParseGraphQuery(texts);
  GraphSelection selection;
  if (query.error.empty()) selection = quillmap::SelectCallGraph(model_.callGraph, query.query);
  const std::string& error = query.error.empty() ? selection.error : query.error;
  if (!error.empty()) {
    selection.error = error;
    context.LogError(error);
  }
  if (!selection.emptyNote.empty()) context.Log(selection.emptyNote);
  return selection;
}

std::optional<GraphSelection> ScanRun::SelectModuleGraph(ScanContext& context) {
  const GraphQueryResult query = ParseGraphQuery(settings_.modules.queries);
  if (query.error.empty() && !query.query.active()) return std::nullopt;
  GraphSelection selection;
  if (query.error.empty()) {
    selection = quillmap::SelectModuleGraph(model_.moduleGraph, query.query);
  } else {
    selection.error = query.error;
  }
  if (!selection.error.empty()) context.LogError(selection.error);
  if (!selection.emptyNote.empty()) context.Log(selection.emptyNote);
  return selection;
}

void ScanRun::StopRun(ScanContext& context, RunOutcome& outcome) {
  writer_->AbandonRun();
  context.Log(kStoppedEntry);
  outcome.stopped = true;
  outcome.finished = true;
  outcome.errorReported = context.errorReported();
}

void ScanRun::WriteJsonExport(ScanContext& context, const std::string& path,
                              const ModuleRuleCheck& rules, const std::string& scanMessage,
                              StringList errors) {
  const std::string jsonPath = ResolvePath(settings_.outputs.json, DirectoryOf(path));
  if (jsonPath.empty()) return;
  for (const SourceRecord& source : model_.callGraph.sources) {
    if (!source.failure.empty()) errors.push_back(source.failure);
  }
  errors.insert(errors.end(), rules.errors().begin(), rules.errors().end());
  if (scanMessage.starts_with(kFilterError)) errors.push_back(scanMessage);
  if (!writer_->ClaimFile(jsonPath) ||
      !WriteGraphJson(jsonPath, model_, rules.violations(), errors)) {
    context.LogError(ErrorWritingText(jsonPath));
  }
}

const CallReachGraph& ScanRun::ReachGraph() {
  if (!reachGraph_) reachGraph_ = std::make_unique<CallReachGraph>(model_.callGraph);
  return *reachGraph_;
}

void ScanRun::CheckCallRules(ScanContext& context, const std::string& path,
                             const ModuleRuleCheck& rules, bool callRulesConfigured,
                             RunOutcome& outcome) {
  findings_.cfgDir = DirectoryOf(path);
  findings_.moduleCalls = &model_.moduleGraph.calls;
  findings_.moduleViolations = rules.violations();
  findings_.moduleFresh.assign(rules.violations().size(), 0);
  for (const size_t fresh : rules.fresh()) findings_.moduleFresh[fresh] = 1;
  deadEntries_ = SplitRulePatterns(settings_.callRules.entry);
  if (!callRulesConfigured) return;
  CallRuleCheck check(path, baselineOutput_);
  const std::string moduleBaseline =
      ResolvePath(settings_.modules.rules.baseline, findings_.cfgDir);
  check.Check(context, ReachGraph(), rules.violations(), moduleBaseline);
  outcome.newViolations = outcome.newViolations || check.newViolations();
  findings_.graph = reachGraph_.get();
  findings_.callViolations = check.violations();
  findings_.callRules = check.rules().forbidReach;
  findings_.callFresh.assign(check.violations().size(), 0);
  for (const size_t fresh : check.fresh()) findings_.callFresh[fresh] = 1;
}

void ScanRun::WriteSarif(ScanContext& context, const std::string& path) {
  const auto given = commandLineOptions_.find(kSarifKey);
  const std::string& value =
      given != commandLineOptions_.end() ? given->second : settings_.outputs.sarif;
  if (value.empty()) return;
  const std::string sarifPath =
      given != commandLineOptions_.end() ? value : ResolvePath(value, DirectoryOf(path));
  if (!writer_->ClaimFile(sarifPath) || !WriteSarifLog(sarifPath, findings_, kVersionText)) {
    context.LogError(ErrorWritingText(sarifPath));
  }
}

void ScanRun::RunStations(ScanContext& context, const std::string& path, RunOutcome& outcome) {
  std::string scanMessage;
  const ScanModeSettings& mode = settings_.scan;
  if (!mode.problem.empty()) {
    // An unknown syntax is not quietly read as lines, nor an unknown resolve as no: nothing is
    // scanned.
    scanMessage = mode.problem;
    writer_->EndRun();
    context.LogError(scanMessage);
    outcome.finished = true;
    outcome.errorReported = true;
    return;
  }
  const SourceSyntax syntax = mode.syntax;
  // Binding calls to definitions (scope and function pointers) reads C: with syntax=c only.
  const bool resolve = mode.resolve;

  bool finalIsError = true;  // until the scan gave its summary
  std::vector<PictureJob> pictures;
  ModuleRuleCheck rules(path, baselineOutput_);
  const bool callRulesConfigured = CallRuleCheck::Configured(settings_.callRules);
  if (callRulesConfigured) rules.SetCallRulesFollow();
  const int moduleCount = ReadModuleConfig(context, *moduleTable_, path);

  // The C-aware mode reads every source once, for both graphs: the module graph is a view of
  // what that scan found. The call graph's entries still follow the module graph's in the log:
  // they wait while the module graph is made from the scan.
  const bool oneScan = syntax == SourceSyntax::kC;
  ModuleSources moduleSources;
  moduleSources.KeepHeaders(!moduleTable_->moduleLogPath.empty());
  for (int k = 0; k < moduleCount; ++k) {
    for (const std::string& file : moduleTable_->modules[static_cast<size_t>(k)].files) {
      moduleSources.Want(file);
    }
  }
  bool filtersRead = false;
  int opened = 0;
  ScanCounts counts;
  // What the resolver gathers (structs, registrations, the headers' macros) serves the binding
  // only: it is let go before the call graph is written.
  auto resolver = std::make_unique<CallResolver>();
  const auto scanCallGraph = [&](ModuleSources* sources) {
    callsList_ = settings_.filters.calls;
    filtersRead = !callsList_.empty();
    if (!filtersRead) return;
    rejectList_ = settings_.filters.reject;
    if (resolve) {
      // The names the build defines, and the rules for definitions named by unknown macros (up
      // to the first that is no rule).
      for (const std::string& value : mode.defines) resolver->headerMacros().Predefine(value);
      // A compilation database adds its include folders' headers and its -D options.
      CompileOptions build;
      if (!settings_.sources.compileCommands.empty()) {
        build =
            ReadCompileOptions(ResolvePath(settings_.sources.compileCommands, DirectoryOf(path)));
        for (const std::string& value : build.defines) resolver->headerMacros().Predefine(value);
        resolver->SetSourceDefines(std::move(build.sourceDefines));
      }
      for (size_t n = 0; n < mode.nameMacros.size(); ++n) {
        MacroNameRule rule;
        if (!ParseMacroNameRule(mode.nameMacros[n], rule)) break;
        resolver->nameRules().insert(resolver->nameRules().begin() + static_cast<ptrdiff_t>(n),
                                     rule);
      }
      ReadHeaderMacros(context, path, resolver->headerMacros(), build.includeFolders);
    }
    if (sources != nullptr && SelectsEveryCall(callsList_)) {
      sources->ShareNames(model_.callGraph.names);
    }
    opened = ScanCallGraph(context, path, {callsList_, rejectList_, fileList_}, model_.callGraph,
                           &counts, &scanMessage, callGraphEngine_, syntax,
                           resolve ? resolver.get() : nullptr, sources);
  };
  DeferredLog callGraphEntries;
  ActivityLog* hostLog = nullptr;  // while the call graph's entries wait
  if (oneScan) {
    if (moduleCount == 0) {
      scanCallGraph(nullptr);
    } else {
      hostLog = &context.SwapLog(callGraphEntries);
      scanCallGraph(&moduleSources);
      context.SwapLog(*hostLog);
      if (!filtersRead) ScanModuleSources(context, moduleSources.paths(), moduleSources);
    }
  }

  // The scan's threads freed what they read and recognised, but their heaps keep the pages,
  // which what follows on this thread would not use: given back (on a whole tree a hundred MB
  // of the run's peak).
  GiveBackFreePages();
  // The calls are bound once the module graph is made and its findings are let go: the two
  // side by side would need both at once (on a whole tree about 100 MB more at the peak, for
  // the 2 s that the module graph takes).
  const auto bindCalls = [&] {
    const ResolveCounts counts =
        resolver->Resolve(model_.callGraph, [&context] { return context.StopRequested(); });
    resolver.reset();
    return counts;
  };

  ModuleSourcesView moduleView(moduleSources);
  ModuleScanEngine& moduleScan = oneScan ? moduleView : *moduleScan_;
  // The module model takes the table's calls once the table is final; nothing changes the table
  // afterwards.
  bool moduleModelFilled = false;
  if (moduleCount != 0 && ScanModules(context, *moduleTable_, moduleScan) != 0 &&
      !context.stopped()) {
    const std::vector<bool> violatingEdges = rules.Check(context, *moduleTable_);
    FillModuleModel(*moduleTable_, model_.moduleGraph);
    moduleModelFilled = true;
    const std::optional<GraphSelection> shown = SelectModuleGraph(context);
    if (!shown || shown->error.empty()) {
      WriteModuleGraphDot(context, *moduleTable_, violatingEdges, shown ? &*shown : nullptr,
                          &model_.moduleGraph);
      context.Log(kDoneEntry);
      pictures.push_back({moduleTable_->moduleDotPath, settings_.modules.render, {}});
    }
    ReleaseModuleFindings(*moduleTable_);
  }
  outcome.newViolations = rules.newViolations();
  moduleSources = ModuleSources{};
  GiveBackFreePages();
  if (hostLog != nullptr) {
    if (context.stopped()) {
      callGraphEntries.HandOnLast(*hostLog, kStoppedCallGraphEntries, LeftOutEntries);
    } else {
      callGraphEntries.HandOn(*hostLog);
    }
  }

  if (context.stopped()) {
    StopRun(context, outcome);
    return;
  }
  if (!oneScan) scanCallGraph(nullptr);
  if (!filtersRead) {
    scanMessage = kFilterError + path;
    context.NoteError();
  } else {
    if (context.stopped()) {
      StopRun(context, outcome);
      return;
    }
    std::string resolveSummary;
    if (resolve) {
      resolveSummary = ", " + ResolveSummary(bindCalls());
      if (context.stopped()) {
        StopRun(context, outcome);
        return;
      }
    }
    const GraphSelection selection = SelectCallGraph(context);
    WriteCallGraphOutputs(settings_, *writer_, callsList_, model_.callGraph, &selection);
    if (selection.error.empty()) {
      pictures.push_back({ResolvePath(settings_.outputs.dot, DirectoryOf(path)),
                          settings_.dot.render, &model_.callGraph});
    }
    if (opened != 0) {
      scanMessage = Summary(counts) + resolveSummary;
    } else if (!resolveSummary.empty()) {
      context.Log(resolveSummary.substr(2));
    }
    finalIsError = opened == 0 && !scanMessage.empty();
  }

  if (!moduleModelFilled) FillModuleModel(*moduleTable_, model_.moduleGraph);
  AssignFunctionModules(model_);
  CheckCallRules(context, path, rules, callRulesConfigured, outcome);

  writer_->EndRun();
  StringList errors;
  for (const std::string& failed : writer_->FailedPaths()) {
    errors.push_back(ErrorWritingText(failed));
    context.LogError(errors.back());
  }
  WriteJsonExport(context, path, rules, scanMessage, errors);
  WriteSarif(context, path);
  RenderPictures(context, pictures, writer_->FailedPaths());
  // The final entry is the summary, or the error that ended the scan.
  if (finalIsError) {
    context.LogError(scanMessage);
  } else {
    context.Log(scanMessage);
  }
  outcome.finished = true;
  outcome.errorReported = context.errorReported();
}

}  // namespace quillmap
