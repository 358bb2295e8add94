/// The graph queries applied to the graph model: which functions and calls of the call graph,
/// and which modules and module calls of the module graph, a view of the model shows.
#pragma once

#include <string>
#include <vector>

#include "model/graph_model.h"
#include "query/graph_query.h"

namespace quillmap {

/// What a view shows of a model. Without an active query everything is shown.
struct GraphSelection {
  std::vector<char> keepNode;  // by function (call graph) or by module (module graph)
  std::vector<char> keepCall;  // by call
  /// The DOT lines that mark where the node cap cut the graph: a node per cut place saying how
  /// many were left out, joined to the node that lost them.
  std::vector<std::string> cutMarkLines;
  std::string error;      // the error entry; the view is not written
  std::string emptyNote;  // the log entry for a query that left nothing ("" otherwise)
};

/// The call graph's nodes are names: a function's and the names it calls. A name defined twice
/// is one node, so both definitions are roots of a focus on it.
GraphSelection SelectCallGraph(const CallGraphModel& model, const GraphQuery& query);

/// The call graph as the queries walk it, built once for all the queries on one model (a view
/// that queries again and again need not build it each time). Its names are the model's: the
/// model must outlive it.
struct CallQueryGraph {
  QueryGraph graph;
  std::vector<int32_t> nodeOf;  // by function
};
CallQueryGraph BuildCallQueryGraph(const CallGraphModel& model);
/// As SelectCallGraph, on the query graph built from `model`.
GraphSelection SelectCallGraph(const CallGraphModel& model, const CallQueryGraph& built,
                               const GraphQuery& query);

/// The module graph's nodes are the modules; a call between modules is an edge between them.
GraphSelection SelectModuleGraph(const ModuleModel& model, const GraphQuery& query);

/// The DOT lines of the cut marks of `outcome` (node ids of `graph`).
std::vector<std::string> CutMarkLines(const QueryGraph& graph, const QueryOutcome& outcome);

}  // namespace quillmap
