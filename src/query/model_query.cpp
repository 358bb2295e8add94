#include "query/model_query.h"

#include <memory>

#include "dot/dot_text.h"

namespace quillmap {

namespace {

constexpr const char* kCutNodeName = "[cut ";  // no C name nor header text starts like this
constexpr const char* kCutNodeStyle = " [shape=note, style=dashed, fontcolor=gray30, label=";
constexpr const char* kCutEdgeStyle = " [style=dashed, color=gray50]";

std::string Describe(const GraphQuery& query) {
  std::string names;
  for (const std::string& name : query.path.empty() ? query.focus : query.path) {
    names += (names.empty() ? "" : ",") + name;
  }
  return (query.path.empty() ? "focus " : "path ") + names;
}

// Without an active query the graph is not built: for a whole tree it would be large.
GraphSelection KeepAll(size_t nodeRecords, size_t callRecords) {
  GraphSelection selection;
  selection.keepNode.assign(nodeRecords, 1);
  selection.keepCall.assign(callRecords, 1);
  return selection;
}

GraphSelection Select(const QueryGraph& graph, const GraphQuery& query,
                      const std::vector<int32_t>& nodeOf, size_t nodeRecords) {
  GraphSelection selection;
  QueryOutcome outcome = RunQuery(graph, query);
  selection.error = std::move(outcome.error);
  if (!selection.error.empty()) return selection;
  selection.keepNode.resize(nodeRecords);
  for (size_t i = 0; i < nodeRecords; ++i) selection.keepNode[i] = outcome.keepNode[nodeOf[i]];
  selection.keepCall = std::move(outcome.keepEdge);
  selection.cutMarkLines = CutMarkLines(graph, outcome);
  if (outcome.keptNodes == 0) selection.emptyNote = kEmptyQueryResult + Describe(query);
  return selection;
}

}  // namespace

std::vector<std::string> CutMarkLines(const QueryGraph& graph, const QueryOutcome& outcome) {
  std::vector<std::string> lines;
  int number = 0;
  for (const CutMark& cut : outcome.cuts) {
    const std::string mark = DotId(kCutNodeName + std::to_string(++number) + "]");
    const std::string node = DotId(graph.name(cut.node));
    lines.push_back("  " + mark + kCutNodeStyle + DotId(std::to_string(cut.count) + kCutMarkLabel) +
                    "]");
    lines.push_back("  " + (cut.callers ? mark + " -> " + node : node + " -> " + mark) +
                    kCutEdgeStyle);
  }
  return lines;
}

CallQueryGraph BuildCallQueryGraph(const CallGraphModel& model) {
  CallQueryGraph built;
  QueryGraph& graph = built.graph;
  if (model.resolved) graph.QualifiedNames();
  // The model interns its names: a node by name id, its text a view into the model's table.
  auto nodeOfName = std::make_shared<std::vector<int32_t>>(model.names.size(), -1);
  const auto node = [&](NameId name) {
    int32_t& known = (*nodeOfName)[name];
    if (known < 0) known = graph.AddKnownNode(model.NameOf(name));
    return known;
  };
  graph.SetNameLookup([&model, nodeOfName](std::string_view name) {
    NameId id = 0;
    return model.names.Find(name, id) ? (*nodeOfName)[id] : -1;
  });
  std::vector<int32_t>& nodeOf = built.nodeOf;
  nodeOf.reserve(model.functions.size());
  for (const FunctionRecord& function : model.functions) nodeOf.push_back(node(function.name));
  for (size_t f = 0; f < model.functions.size(); ++f) {
    for (const uint32_t c : model.CallsOf(model.functions[f])) {
      graph.AddEdge(nodeOf[f], node(model.calls[c].callee));
    }
  }
  graph.Finish();
  return built;
}

GraphSelection SelectCallGraph(const CallGraphModel& model, const CallQueryGraph& built,
                               const GraphQuery& query) {
  if (!query.active()) return KeepAll(model.functions.size(), model.calls.size());
  return Select(built.graph, query, built.nodeOf, model.functions.size());
}

GraphSelection SelectCallGraph(const CallGraphModel& model, const GraphQuery& query) {
  if (!query.active()) return KeepAll(model.functions.size(), model.calls.size());
  return SelectCallGraph(model, BuildCallQueryGraph(model), query);
}

GraphSelection SelectModuleGraph(const ModuleModel& model, const GraphQuery& query) {
  if (!query.active()) return KeepAll(model.modules.size(), model.calls.size());
  QueryGraph graph;
  std::vector<int32_t> nodeOf;
  for (const ModuleInfo& module : model.modules) nodeOf.push_back(graph.AddNode(module.name));
  for (const ModuleCallRecord& call : model.calls) {
    graph.AddEdge(nodeOf[call.fromModule], nodeOf[call.toModule]);
  }
  graph.Finish();
  return Select(graph, query, nodeOf, model.modules.size());
}

}  // namespace quillmap
