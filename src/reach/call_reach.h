/// Reachability over the call graph model: what a function can reach or be reached from, the
/// shortest call chain between two sets of functions, and the functions that no entry point
/// reaches. Nodes are definitions, so that namesakes in different files stay apart, plus one
/// node per called name that no scanned source defines (a library function).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/graph_model.h"

namespace quillmap {

class CallReachGraph {
 public:
  explicit CallReachGraph(const CallGraphModel& model);

  const CallGraphModel& model() const { return model_; }
  int32_t nodeCount() const { return static_cast<int32_t>(nodeName_.size()); }
  int32_t edgeCount() const { return static_cast<int32_t>(edgeCall_.size()); }
  std::string_view NameOf(int32_t node) const { return model_.NameOf(nodeName_[node]); }
  /// The definition of a node (an index into the model's functions), -1 for a library name.
  int32_t FunctionOf(int32_t node) const { return node < functionCount_ ? node : -1; }
  /// The source path of a definition's node, "" for a library name.
  std::string_view FileOf(int32_t node) const;
  /// Whether the node's name has more than one definition (static functions of several files)
  /// and is not told apart by the model itself (a resolved model names such nodes with files).
  bool IsNamesake(int32_t node) const { return node < functionCount_ && namesake_[node]; }
  /// A definition's node is its function index.
  int32_t NodeOfFunction(size_t function) const { return static_cast<int32_t>(function); }

  int32_t EdgeFrom(int32_t edge) const { return edgeFrom_[edge]; }
  int32_t EdgeTo(int32_t edge) const { return edgeTo_[edge]; }
  /// The call record behind an edge (an index into the model's calls).
  uint32_t EdgeCall(int32_t edge) const { return edgeCall_[edge]; }
  /// How the call goes (always direct in a model that was not resolved), and for a call
  /// through a pointer the dispatch expression ("ops->open").
  CallKind EdgeKind(int32_t edge) const { return edgeKind_[edge]; }
  std::string_view EdgeVia(int32_t edge) const { return model_.NameOf(edgeVia_[edge]); }

  struct EdgeRange {
    const int32_t* begin_;
    const int32_t* end_;
    const int32_t* begin() const { return begin_; }
    const int32_t* end() const { return end_; }
  };
  /// The edges leaving (`outgoing`) or entering a node.
  EdgeRange Edges(int32_t node, bool outgoing) const;

  /// The nodes whose name matches one of the glob patterns (fnmatch), in node order; a pattern
  /// "NAME@FILE" matches the definitions of NAME whose source path ends in FILE.
  std::vector<int32_t> Match(const std::vector<std::string>& patterns,
                             bool definitionsOnly = false) const;

 private:
  void AddEdge(int32_t from, int32_t to, uint32_t call);

  const CallGraphModel& model_;
  int32_t functionCount_ = 0;
  std::vector<NameId> nodeName_;
  std::vector<char> namesake_;  // by definition
  std::vector<int32_t> edgeFrom_, edgeTo_;
  std::vector<uint32_t> edgeCall_;
  std::vector<CallKind> edgeKind_;
  std::vector<NameId> edgeVia_;
  std::vector<int32_t> outStart_, outEdges_, inStart_, inEdges_;
};

/// A node reached by a search: its distance from the nearest root and the edge it was first
/// reached by (-1 for a root).
struct ReachedNode {
  int32_t node = -1;
  int32_t depth = 0;
  int32_t edge = -1;
};

/// Every node reachable from `roots` along calls (or against them, with `callers`), the roots
/// included, in order of distance; within `maxDepth` steps when it is not negative.
std::vector<ReachedNode> Reach(const CallReachGraph& graph, const std::vector<int32_t>& roots,
                               bool callers, int maxDepth = -1);

/// The edges of one shortest chain from a search's roots to `target`, first call first: the
/// search's edge by node (IndexReach) followed back. Empty when `target` is a root or was not
/// reached.
std::vector<int32_t> ChainTo(const CallReachGraph& graph, const std::vector<int32_t>& edgeByNode,
                             int32_t target);

/// For a search result, the edge by which each node was reached (-1: root or not reached) and
/// whether it was reached, indexed by node.
struct ReachIndex {
  std::vector<int32_t> edgeByNode;
  std::vector<char> reached;
};
ReachIndex IndexReach(const CallReachGraph& graph, const std::vector<ReachedNode>& reached);

/// The edges of one shortest chain from any of `roots` to any of `targets`, first call first
/// (empty when a target is a root); none when no target is reached.
std::optional<std::vector<int32_t>> ShortestChain(const CallReachGraph& graph,
                                                  const std::vector<int32_t>& roots,
                                                  const std::vector<int32_t>& targets);

/// The definitions that no chain of calls from `entries` reaches, in function order.
std::vector<int32_t> UnreachedFunctions(const CallReachGraph& graph,
                                        const std::vector<int32_t>& entries);

}  // namespace quillmap
