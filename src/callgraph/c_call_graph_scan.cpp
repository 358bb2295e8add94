#include "callgraph/c_call_graph_scan.h"

#include "callgraph/scan_entries.h"

namespace quillmap {

namespace {
// Field 0 of each filter. Set before the pipeline's workers start: they read it.
StringList PatternsOf(const StringList& callsList) {
  StringList patterns;
  for (const std::string& filter : callsList) patterns.push_back(GetField(filter, 0));
  return patterns;
}
}  // namespace

CCallGraphScan::CCallGraphScan(ScanContext& context, CallGraphRecorder& recorder,
                               const StringList& callsList, const StringList& rejectList,
                               ScanCounts* counts, const StringList& sources, unsigned workers)
    : context_(context),
      recorder_(recorder),
      callsList_(callsList),
      patterns_(PatternsOf(callsList)),
      rejectTexts_(RejectTexts(rejectList)),
      counts_(counts),
      // The calls of a function that no filter selects are never recorded.
      pipeline_(sources, workers, [this](std::string_view name) {
        for (size_t i = 0; i < patterns_.size(); ++i) {
          if (Selects(i, name)) return true;
        }
        return false;
      }) {}

bool CCallGraphScan::Selects(size_t i, std::string_view name) const {
  const std::string& pattern = patterns_[i];
  return pattern == kEveryNamePattern || name.find(pattern) != std::string_view::npos;
}

void CCallGraphScan::ScanLoaded() {
  if (loaded_ == nullptr || !loaded_->opened) return;
  text_ = loaded_->text;
  selected_ = false;
  lineCodeStart_ = static_cast<size_t>(-1);
  pipeline_.Replay(*this);
  if (counts_ != nullptr) {
    AddWrapping(counts_->chars, static_cast<uint32_t>(text_.size()));
    AddWrapping(counts_->lines, static_cast<uint32_t>(loaded_->lines));
  }
}

void CCallGraphScan::OnFunctionStart(const CFunction& function) {
  selected_ = false;
  for (size_t i = 0; i < callsList_.size(); ++i) {
    if (!Selects(i, function.name)) continue;
    selected_ = true;
    const std::string header = CHeaderText(text_, function);
    // The log and the model count lines from 0, as the line mode's "Z:" does.
    context_.Log(DefinitionEntry(function.braceLine - 1, header));
    if (counts_ != nullptr) AddWrapping(counts_->functions, 1);
    callTexts_.clear();
    callTextCount_ = 0;
    functionText_.assign(function.name) += "()";
    recorder_.Definition(header, functionText_, i, function.braceLine - 1, function.headerLine);
    return;
  }
}

void CCallGraphScan::OnCall(const CFunction&, const CCall& call) {
  if (!selected_) return;
  bool arguments = false;
  StringList args;
  for (size_t i = 0; i < callsList_.size(); ++i) {
    if (!Selects(i, call.name)) continue;
    if (lineCodeStart_ != call.codeStart) {
      lineCodeStart_ = call.codeStart;
      lineText_ = CLineText(text_, call);
      lineRejected_ = false;
      for (const std::string& reject : rejectTexts_) {
        if (lineText_.find(reject) != std::string::npos) lineRejected_ = true;
      }
    }
    if (lineRejected_) return;
    if (!arguments) {
      CCallArguments(text_, call, args);
      arguments = true;
    }
    const std::string name(call.name);
    const CallArguments arguments = recorder_.ArgumentsFor(args, i);
    const std::string callText = name + "(" + arguments.shown + ")";
    if (!callTexts_.insert(callText).second) continue;
    ++callTextCount_;
    context_.Log(CallLineEntry(lineText_));
    context_.Log(CallTextEntry(callText));
    recorder_.Call(name, i, arguments, call.line);
  }
}

void CCallGraphScan::OnFunctionEnd(const CFunction& function) {
  if (!selected_) return;
  selected_ = false;
  // A body that never closes ends with its file, on its last line.
  context_.Log(FunctionEndEntry(function.endLine - 1, callTextCount_));
  recorder_.FunctionEnd();
}

}  // namespace quillmap
