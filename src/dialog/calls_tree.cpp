#include "dialog/calls_tree.h"

#include "reach/reach_report.h"

namespace quillmap {

namespace {
using Kind = CallsTreeNode::Kind;

// The name an entry's level is about: the function whose callers or callees it lists.
NameId SubjectOf(const FunctionIndex& index, const CallsTreeNode& node) {
  const CallGraphModel& model = index.model();
  switch (node.kind) {
    case Kind::kCallers:
    case Kind::kCallees:
    case Kind::kCaller:
      return model.functions[node.function].name;
    case Kind::kCallee:
      return model.calls[node.call].callee;
  }
  return 0;
}

std::vector<CallsTreeNode> CallerEntries(const FunctionIndex& index, NameId name) {
  std::vector<CallsTreeNode> entries;
  for (const CallSite& site : index.CallersOf(name))
    entries.push_back({Kind::kCaller, site.caller, site.call});
  return entries;
}

std::vector<CallsTreeNode> CalleeEntries(const FunctionIndex& index,
                                         const std::vector<uint32_t>& definitions) {
  std::vector<CallsTreeNode> entries;
  for (const uint32_t function : definitions) {
    for (const CallSite& site : index.CalleesOf(function))
      entries.push_back({Kind::kCallee, site.caller, site.call});
  }
  return entries;
}

bool IsCallerSide(Kind kind) { return kind == Kind::kCallers || kind == Kind::kCaller; }
}  // namespace

std::vector<CallsTreeNode> CallsTreeRoots(uint32_t function) {
  return {{Kind::kCallers, function, 0}, {Kind::kCallees, function, 0}};
}

std::vector<CallsTreeNode> CallsTreeChildren(const FunctionIndex& index,
                                             const CallsTreeNode& node) {
  const NameId subject = SubjectOf(index, node);
  if (IsCallerSide(node.kind)) return CallerEntries(index, subject);
  // The chosen function's own calls; below a callee, the calls of every definition of it.
  if (node.kind == Kind::kCallees) return CalleeEntries(index, {node.function});
  return CalleeEntries(index, index.DefinitionsOf(subject));
}

bool CallsTreeHasChildren(const FunctionIndex& index, const CallsTreeNode& node) {
  const NameId subject = SubjectOf(index, node);
  if (IsCallerSide(node.kind)) return index.CallerCountOf(subject) > 0;
  if (node.kind == Kind::kCallees) return index.model().functions[node.function].callCount > 0;
  for (const uint32_t function : index.DefinitionsOf(subject)) {
    if (index.model().functions[function].callCount > 0) return true;
  }
  return false;
}

std::string CallsTreeLabel(const FunctionIndex& index, const CallsTreeNode& node) {
  const CallGraphModel& model = index.model();
  switch (node.kind) {
    case Kind::kCallers:
      return kCallersOf + std::string(index.NameOf(node.function)) + " (" +
             std::to_string(index.CallerCount(node.function)) + ")";
    case Kind::kCallees:
      return kCalleesOf + std::string(index.NameOf(node.function)) + " (" +
             std::to_string(index.CalleeCount(node.function)) + ")";
    case Kind::kCaller:
    case Kind::kCallee: {
      const SourceSite site = CallsTreeSite(index, node);
      const std::string name(node.kind == Kind::kCaller
                                 ? index.NameOf(node.function)
                                 : model.NameOf(model.calls[node.call].callee));
      std::string label = name + "  " + site.file + ":" + std::to_string(site.line);
      // Only a resolved model knows how a call goes.
      if (model.resolved) {
        const CallDetails details = model.DetailsOf(model.calls[node.call]);
        label += std::string("  ") + CallKindText(details.kind);
        if (details.kind == CallKind::kPointer)
          label += kCallVia + std::string(model.NameOf(details.via));
      }
      return label;
    }
  }
  return {};
}

SourceSite CallsTreeSite(const FunctionIndex& index, const CallsTreeNode& node) {
  SourceSite site;
  site.file = std::string(index.FileOf(node.function));
  site.line = node.kind == Kind::kCallers || node.kind == Kind::kCallees
                  ? index.LineOf(node.function)
                  : index.LineOfCall(node.call);
  return site;
}

}  // namespace quillmap
