/// The call graph scan of the C-aware mode: each source read whole and read as C, a definition
/// selected by its name, every selected call of a body recorded, with the same activity log
/// entries and the same graph model as the line mode.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <absl/container/flat_hash_set.h>

#include "callgraph/call_graph_recorder.h"
#include "callgraph/call_graph_scanner.h"
#include "csource/c_source_pipeline.h"
#include "csource/c_source_scanner.h"
#include "context/scan_context.h"
#include "model/module_sources.h"
#include "resolve/call_resolver.h"

namespace quillmap {

/// A filter pattern that selects every name in the C-aware mode.
inline constexpr std::string_view kEveryNamePattern = "*";

/// Reads and recognises the sources that `moduleSources` asks for, in the order of `paths`,
/// without a call graph (a run whose call filters are missing still draws its modules).
/// Returns false when the host stopped it.
bool ScanModuleSources(ScanContext& context, const StringList& paths,
                       ModuleSources& moduleSources);

class CCallGraphScan : private CSourceVisitor {
 public:
  /// The sources are read and scanned in the order of `sources`, by `workers` threads ahead of
  /// the one whose findings are recorded (none: each when its turn comes); the records do not
  /// depend on the number.
  /// With `moduleSources`, every definition and call of the sources it asks for is kept there
  /// too, selected or not; `sources` may then go on past the call graph's with sources that
  /// only the modules list (see TakeModuleSource).
  CCallGraphScan(ScanContext& context, CallGraphRecorder& recorder, const StringList& callsList,
                 const StringList& rejectList, ScanCounts* counts, const StringList& sources,
                 unsigned workers, CallResolver* resolver = nullptr,
                 ModuleSources* moduleSources = nullptr);

  /// Takes the next source of the list whole; false when it cannot be opened.
  bool LoadNext() {
    loaded_ = &pipeline_.Next();
    KeepModuleFindings();
    return loaded_->opened;
  }
  /// Takes the next source for the modules only: nothing of it reaches the call graph.
  void TakeModuleSource() {
    loaded_ = &pipeline_.Next();
    KeepModuleFindings();
  }
  /// True when reading the loaded source failed part way.
  bool readFailed() const { return loaded_ != nullptr && loaded_->readFailed; }
  /// Records what was found in the loaded source (in what was read of it).
  void ScanLoaded();

 private:
  void OnFunctionStart(const CFunction& function) override;
  void OnCall(const CFunction& function, const CCall& call) override;
  void OnFunctionEnd(const CFunction& function) override;

  // Whether filter `i` selects the name; whether any filter does (from any thread).
  bool Selects(size_t i, std::string_view name) const;
  bool SelectedByAny(std::string_view name) const;
  // Whether the build's names rule out the branch at `offset` of the source (resolved mode).
  bool NotCompiled(size_t offset) const;
  // The pipeline's work on each source with a resolver: its facts.
  static void ReadFacts(std::string_view text, const std::vector<CFunction>& definitions,
                        std::any& result, const MacroTable* headers,
                        const std::vector<MacroNameRule>* nameRules, const StringList* defines);
  // A selected call: logged and recorded unless its call text was recorded in the body before.
  // `dispatch` indexes the file's dispatch sites, or is -1 for a call by name.
  void RecordCall(std::string_view name, std::string_view shownName, const StringList& args,
                  size_t filter, int line, std::string_view lineText, int32_t dispatch,
                  const CMacroUse* macro = nullptr);
  // The calls that the expansion of a macro use makes, each selected by its callee's name.
  void RecordMacroUse(const CMacroUse& use, const CCall& call);
  // The macro uses without "(" ("REFILL;"), which the scanner does not report as calls.
  void RecordUnnamedMacroUses();
  // The dispatch sites that the scanner does not report as calls ("(*fp)(x)", "tab[i](x)").
  void RecordUnnamedDispatches();
  // What the loaded source holds, for the modules that list it.
  void KeepModuleFindings();


  ScanContext& context_;
  CallGraphRecorder& recorder_;
  const StringList& callsList_;
  const StringList& sources_;
  size_t nextSource_ = 0;
  ModuleSources* moduleSources_;
  StringList patterns_;     // field 0 of each filter
  StringList rejectTexts_;  // as configured, commas and all
  ScanCounts* counts_;
  CSourcePipeline pipeline_;
  const CSourcePipeline::Source* loaded_ = nullptr;
  std::string_view text_;  // of the loaded source

  bool selected_ = false;  // the current function is selected
  std::string headerText_;  // of the current function, when not made ahead
  std::string functionText_;
  CSourcePipeline::CallTexts preparedTexts_;  // of the current call, made ahead
  size_t callTextCount_ = 0;
  absl::flat_hash_set<std::string> callTexts_;
  std::string callText_;  // of the call being recorded
  StringList callArguments_;  // of the call being recorded
  std::string entry_;         // a log entry being made
  // The cleaned text of the line of the last call, and whether a reject text drops it.
  size_t lineCodeStart_ = static_cast<size_t>(-1);
  std::string lineText_;
  bool lineRejected_ = false;

  CallResolver* resolver_;
  // The loaded source's facts (with a resolver), read by the pipeline's thread that scanned it.
  struct SourceFacts {
    std::vector<CDefinitionRange> ranges;  // its definitions by their place in the text
    CFileFacts facts;
  };
  const SourceFacts* loadedFacts_ = nullptr;
  std::vector<int32_t> modelFunctions_;
  int32_t range_ = -1;  // of the current function
  std::unordered_map<size_t, int32_t> dispatchAt_;  // named dispatch sites by the name's offset
  std::unordered_map<size_t, int32_t> macroAt_;     // named macro uses by the name's offset
};

}  // namespace quillmap
