#include "callgraph/c_call_graph_scan.h"

#include "callgraph/scan_entries.h"


namespace quillmap {

namespace {
// Between a macro's use and a function its expansion calls, in the call texts of the log.
constexpr std::string_view kMacroTarget = " => ";

// Field 0 of each filter. Set before the pipeline's workers start: they read it.
StringList PatternsOf(const StringList& callsList) {
  StringList patterns;
  for (const std::string& filter : callsList) patterns.push_back(GetField(filter, 0));
  return patterns;
}

// Every definition and call of a source, for the module graph.
class ModuleFindings : public CSourceVisitor {
 public:
  ModuleFindings(std::string_view text, ModuleSources& sources) : text_(text), sources_(sources) {}
  void OnFunctionStart(const CFunction& function) override {
    // Only the module log shows the headers.
    sources_.AddDefinition(function.name,
                           sources_.keepsHeaders() ? CHeaderText(text_, function) : std::string());
  }
  void OnCall(const CFunction&, const CCall& call) override {
    sources_.AddCall(call.name, call.line);
  }
  void OnFunctionEnd(const CFunction&) override {}

 private:
  std::string_view text_;
  ModuleSources& sources_;
};

void KeepFindings(const CSourcePipeline& pipeline, const CSourcePipeline::Source& source,
                  const std::string& path, ModuleSources& sources) {
  if (!sources.Wanted(path)) return;
  sources.BeginSource(path, source.opened, source.opened && source.readFailed);
  if (source.opened) {
    ModuleFindings findings(source.text, sources);
    pipeline.Replay(findings);
  }
  sources.EndSource();
}

}  // namespace

bool ScanModuleSources(ScanContext& context, const StringList& paths,
                       ModuleSources& moduleSources) {
  CSourcePipeline pipeline(paths, CSourcePipeline::DefaultWorkers());
  for (const std::string& path : paths) {
    if (context.StopRequested()) return false;
    KeepFindings(pipeline, pipeline.Next(), path, moduleSources);
  }
  return true;
}

void CCallGraphScan::KeepModuleFindings() {
  const size_t index = nextSource_++;
  if (moduleSources_ == nullptr || index >= sources_.size()) return;
  KeepFindings(pipeline_, *loaded_, sources_[index], *moduleSources_);
}

CCallGraphScan::CCallGraphScan(ScanContext& context, CallGraphRecorder& recorder,
                               const StringList& callsList, const StringList& rejectList,
                               ScanCounts* counts, const StringList& sources, unsigned workers,
                               CallResolver* resolver, ModuleSources* moduleSources)
    : context_(context),
      recorder_(recorder),
      callsList_(callsList),
      sources_(sources),
      moduleSources_(moduleSources),
      patterns_(PatternsOf(callsList)),
      rejectTexts_(RejectTexts(rejectList)),
      counts_(counts),
      // The calls of a function that no filter selects are never recorded, but the modules
      // count every call.
      pipeline_(sources, workers,
                moduleSources != nullptr ? CSourcePipeline::CallsWanted()
                                         : [this](std::string_view name) {
                                             return SelectedByAny(name);
                                           },
      resolver == nullptr
          ? CSourcePipeline::AfterScan()
          : [this, headers = &resolver->headerMacros(), rules = &resolver->nameRules(),
             resolver](size_t source, std::string_view text,
                       const std::vector<CFunction>& definitions, std::any& result) {
              ReadFacts(text, definitions, result, headers, rules,
                        resolver->DefinesOf(sources_[source]));
            },
      // The texts of what a filter selects are made on the worker threads: the log and the
      // model need them, and making them is most of the work left to this thread.
      [this](std::string_view name) { return SelectedByAny(name); }),
      resolver_(resolver) {}

void CCallGraphScan::ReadFacts(std::string_view text, const std::vector<CFunction>& definitions,
                               std::any& result, const MacroTable* headers,
                               const std::vector<MacroNameRule>* nameRules,
                               const StringList* defines) {
  if (std::any_cast<SourceFacts>(&result) == nullptr) result = SourceFacts{};
  SourceFacts& facts = *std::any_cast<SourceFacts>(&result);
  facts.ranges.clear();
  for (const CFunction& function : definitions) {
    facts.ranges.push_back({static_cast<size_t>(function.name.data() - text.data()),
                            function.headerStart, function.bodyStart, function.bodyEnd});
  }
  ReadCFileFacts(text, facts.ranges, facts.facts, headers, nameRules, defines);
}

bool CCallGraphScan::Selects(size_t i, std::string_view name) const {
  const std::string& pattern = patterns_[i];
  return pattern == kEveryNamePattern || name.find(pattern) != std::string_view::npos;
}

bool CCallGraphScan::SelectedByAny(std::string_view name) const {
  for (size_t i = 0; i < patterns_.size(); ++i) {
    if (Selects(i, name)) return true;
  }
  return false;
}

void CCallGraphScan::ScanLoaded() {
  if (loaded_ == nullptr || !loaded_->opened) return;
  text_ = loaded_->text;
  selected_ = false;
  lineCodeStart_ = static_cast<size_t>(-1);
  if (resolver_ != nullptr) {
    loadedFacts_ = std::any_cast<SourceFacts>(&pipeline_.AfterScanResult());
    resolver_->AddFile(static_cast<int32_t>(recorder_.sourceCount()) - 1, loadedFacts_->facts);
    dispatchAt_.clear();
    const std::vector<CDispatch>& dispatches = loadedFacts_->facts.dispatches;
    for (size_t d = 0; d < dispatches.size(); ++d) {
      if (dispatches[d].named) dispatchAt_.emplace(dispatches[d].offset, d);
    }
    macroAt_.clear();
    const std::vector<CMacroUse>& uses = loadedFacts_->facts.macroUses;
    for (size_t u = 0; u < uses.size(); ++u) {
      if (uses[u].named) macroAt_.emplace(uses[u].offset, static_cast<int32_t>(u));
    }
    modelFunctions_.assign(loadedFacts_->ranges.size(), -1);
    range_ = -1;
  }
  pipeline_.Replay(*this);
  if (resolver_ != nullptr) resolver_->AddDefinitions(loadedFacts_->facts, modelFunctions_);
  if (counts_ != nullptr) {
    AddWrapping(counts_->chars, static_cast<uint32_t>(text_.size()));
    AddWrapping(counts_->lines, static_cast<uint32_t>(loaded_->lines));
  }
}

bool CCallGraphScan::NotCompiled(size_t offset) const {
  if (resolver_ == nullptr || loadedFacts_->facts.dead.empty()) return false;
  const std::vector<std::pair<size_t, size_t>>& dead = loadedFacts_->facts.dead;
  const auto after =
      std::upper_bound(dead.begin(), dead.end(), offset,
                       [](size_t at, const auto& range) { return at < range.first; });
  return after != dead.begin() && offset < std::prev(after)->second;
}

void CCallGraphScan::OnFunctionStart(const CFunction& function) {
  selected_ = false;
  ++range_;
  // A definition in a branch that the build's names rule out is no function of this build.
  if (NotCompiled(static_cast<size_t>(function.name.data() - text_.data()))) return;
  // A definition named by a macro takes the name the macro makes.
  std::string_view name = function.name;
  if (resolver_ != nullptr && range_ >= 0 &&
      static_cast<size_t>(range_) < loadedFacts_->facts.functions.size() &&
      !loadedFacts_->facts.functions[static_cast<size_t>(range_)].name.empty()) {
    name = loadedFacts_->facts.functions[static_cast<size_t>(range_)].name;
  }
  for (size_t i = 0; i < callsList_.size(); ++i) {
    if (!Selects(i, name)) continue;
    selected_ = true;
    std::string_view header;
    if (!pipeline_.HeaderText(header)) {
      headerText_ = CHeaderText(text_, function);
      header = headerText_;
    }
    // The log and the model count lines from 0, as the line mode's "Z:" does.
    context_.Log(DefinitionEntry(function.braceLine - 1, header));
    if (counts_ != nullptr) AddWrapping(counts_->functions, 1);
    callTexts_.clear();
    callTextCount_ = 0;
    functionText_.assign(name) += "()";
    if (resolver_ != nullptr && range_ >= 0 && static_cast<size_t>(range_) < modelFunctions_.size()) {
      modelFunctions_[static_cast<size_t>(range_)] = static_cast<int32_t>(recorder_.functionCount());
    }
    recorder_.Definition(header, functionText_, i, function.braceLine - 1, function.headerLine);
    return;
  }
}

void CCallGraphScan::OnCall(const CFunction&, const CCall& call) {
  if (!selected_ || NotCompiled(call.offset)) return;
  int32_t dispatch = -1;
  if (resolver_ != nullptr) {
    const auto site = dispatchAt_.find(call.offset);
    if (site != dispatchAt_.end()) dispatch = site->second;
    // A macro is no function: what its expansion calls is called here.
    const auto use = macroAt_.find(call.offset);
    if (use != macroAt_.end() && dispatch < 0) {
      RecordMacroUse(loadedFacts_->facts.macroUses[static_cast<size_t>(use->second)], call);
      return;
    }
  }
  bool texts = false;     // looked for the texts made ahead
  bool prepared = false;  // and found them
  bool arguments = false;
  StringList& args = callArguments_;  // its strings keep their room from call to call
  for (size_t i = 0; i < callsList_.size(); ++i) {
    if (!Selects(i, call.name)) continue;
    if (!texts) {
      prepared = pipeline_.Texts(preparedTexts_);
      texts = true;
    }
    if (lineCodeStart_ != call.codeStart) {
      lineCodeStart_ = call.codeStart;
      if (prepared) {
        lineText_.assign(preparedTexts_.line);
      } else {
        lineText_ = CLineText(text_, call);
      }
      lineRejected_ = false;
      for (const std::string& reject : rejectTexts_) {
        if (lineText_.find(reject) != std::string::npos) lineRejected_ = true;
      }
    }
    if (lineRejected_) return;
    if (!arguments) {
      if (prepared) {
        args.assign(preparedTexts_.arguments.begin(), preparedTexts_.arguments.end());
      } else {
        CCallArguments(text_, call, args);
      }
      arguments = true;
    }
    RecordCall(call.name,
               dispatch >= 0 ? std::string_view(loadedFacts_->facts.dispatches[static_cast<size_t>(dispatch)].via)
                             : call.name,
               args, i, call.line, lineText_, dispatch);
  }
}

void CCallGraphScan::RecordCall(std::string_view name, std::string_view shownName,
                                const StringList& args, size_t filter, int line,
                                std::string_view lineText, int32_t dispatch,
                                const CMacroUse* macro) {
  // A call through a pointer shows its dispatch expression ("ops->open(f)"); a call in a
  // macro's expansion the macro and what it calls ("CALL_HELPER(x) => helper").
  callText_.assign(shownName) += '(';
  (callText_ += recorder_.ShownArgument(args, filter)) += ')';
  if (macro != nullptr) (callText_ += kMacroTarget) += name;
  if (!callTexts_.insert(callText_).second) return;
  ++callTextCount_;
  context_.Log(CallLineEntry(lineText, entry_));
  context_.Log(CallTextEntry(callText_, entry_));
  if (dispatch >= 0) resolver_->MarkDispatch(static_cast<uint32_t>(recorder_.callCount()), static_cast<size_t>(dispatch));
  if (macro != nullptr) {
    resolver_->MarkMacro(static_cast<uint32_t>(recorder_.callCount()), macro->macro);
  }
  recorder_.Call(name, filter, args, line);
}

void CCallGraphScan::RecordUnnamedDispatches() {
  const std::vector<CDispatch>& dispatches = loadedFacts_->facts.dispatches;
  for (size_t d = 0; d < dispatches.size(); ++d) {
    const CDispatch& site = dispatches[d];
    if (site.named || site.function != range_) continue;
    // The filters select it by the name it calls through: "f" of "(*p->f)".
    const std::string_view name = DispatchMemberOf(site.via);
    CCall call;
    call.name = name;
    call.offset = site.offset;
    call.open = site.open;
    call.line = site.line;
    call.codeStart = text_.rfind('\n', site.offset) == std::string_view::npos ? 0 : text_.rfind('\n', site.offset) + 1;
    const std::string lineText = CLineText(text_, call);
    bool rejected = false;
    for (const std::string& reject : rejectTexts_) {
      if (lineText.find(reject) != std::string::npos) rejected = true;
    }
    if (rejected) continue;
    StringList args;
    bool arguments = false;
    for (size_t i = 0; i < callsList_.size(); ++i) {
      if (!Selects(i, name)) continue;
      if (!arguments) {
        CCallArguments(text_, call, args);
        arguments = true;
      }
      RecordCall(site.via, site.via, args, i, site.line, lineText, static_cast<int32_t>(d));
    }
  }
}

void CCallGraphScan::RecordMacroUse(const CMacroUse& use, const CCall& call) {
  bool arguments = false;
  StringList args;
  for (const std::string& callee : use.callees) {
    for (size_t i = 0; i < callsList_.size(); ++i) {
      if (!Selects(i, callee)) continue;
      if (lineCodeStart_ != call.codeStart) {
        lineCodeStart_ = call.codeStart;
        lineText_ = CLineText(text_, call);
        lineRejected_ = false;
        for (const std::string& reject : rejectTexts_) {
          if (lineText_.find(reject) != std::string::npos) lineRejected_ = true;
        }
      }
      if (lineRejected_) return;
      if (!arguments && use.named) {
        CCallArguments(text_, call, args);
        arguments = true;
      }
      if (use.macro.empty()) {
        RecordCall(callee, callee, args, i, use.line, lineText_, -1);
      } else {
        RecordCall(callee, use.macro, args, i, use.line, lineText_, -1, &use);
      }
    }
  }
}

void CCallGraphScan::RecordUnnamedMacroUses() {
  for (const CMacroUse& use : loadedFacts_->facts.macroUses) {
    if (use.named || use.function != range_) continue;
    CCall call;
    call.name = use.macro.empty() ? std::string_view(use.callees[0]) : std::string_view(use.macro);
    call.offset = use.offset;
    call.open = use.offset + call.name.size();
    call.line = use.line;
    const size_t lineStart = text_.rfind('\n', use.offset);
    call.codeStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    RecordMacroUse(use, call);
  }
}

void CCallGraphScan::OnFunctionEnd(const CFunction& function) {
  if (!selected_) return;
  if (resolver_ != nullptr) {
    RecordUnnamedDispatches();
    RecordUnnamedMacroUses();
  }
  selected_ = false;
  // A body that never closes ends with its file, on its last line.
  context_.Log(FunctionEndEntry(function.endLine - 1, callTextCount_));
  recorder_.FunctionEnd();
}

}  // namespace quillmap
