#include "reach/call_reach.h"

#include <fnmatch.h>

#include <algorithm>

namespace quillmap {

namespace {
constexpr char kFileMark = '@';

// Adjacency in compressed rows: the edges of node n are edges[start[n], start[n + 1]).
void BuildRows(const std::vector<int32_t>& ends, int32_t nodes, std::vector<int32_t>& start,
               std::vector<int32_t>& edges) {
  start.assign(static_cast<size_t>(nodes) + 1, 0);
  for (const int32_t node : ends) ++start[static_cast<size_t>(node) + 1];
  for (size_t n = 1; n < start.size(); ++n) start[n] += start[n - 1];
  edges.resize(ends.size());
  std::vector<int32_t> next(start.begin(), start.end() - 1);
  for (size_t e = 0; e < ends.size(); ++e) edges[next[ends[e]]++] = static_cast<int32_t>(e);
}

bool EndsWithPath(std::string_view path, std::string_view tail) {
  if (tail.empty() || !path.ends_with(tail)) return false;
  return path.size() == tail.size() || path[path.size() - tail.size() - 1] == '/';
}
}  // namespace

CallReachGraph::CallReachGraph(const CallGraphModel& model) : model_(model) {
  functionCount_ = static_cast<int32_t>(model.functions.size());
  nodeName_.reserve(model.functions.size());
  // The definitions of each name as a chain through the functions, indexed by name id: a whole
  // tree has hundreds of thousands of names, and a table beats a map of lists.
  std::vector<int32_t> firstDefinition(model.names.size(), -1);
  std::vector<int32_t> nextDefinition(model.functions.size(), -1);
  std::vector<int32_t> definitionCount(model.names.size(), 0);
  for (int32_t f = functionCount_ - 1; f >= 0; --f) {
    const NameId name = model.functions[f].name;
    nodeName_.push_back(name);
    nextDefinition[f] = firstDefinition[name];
    firstDefinition[name] = f;
    ++definitionCount[name];
  }
  std::reverse(nodeName_.begin(), nodeName_.end());
  namesake_.resize(model.functions.size());
  for (int32_t f = 0; f < functionCount_; ++f) {
    namesake_[f] = definitionCount[model.functions[f].name] > 1;
  }
  std::vector<int32_t> libraryNode(model.names.size(), -1);
  edgeFrom_.reserve(model.calls.size());
  edgeTo_.reserve(model.calls.size());
  edgeCall_.reserve(model.calls.size());
  const auto libraryOf = [&](NameId callee) {
    int32_t& library = libraryNode[callee];
    if (library < 0) {
      library = nodeCount();
      nodeName_.push_back(callee);
    }
    return library;
  };
  for (int32_t f = 0; f < functionCount_; ++f) {
    const FunctionRecord& caller = model.functions[f];
    for (const uint32_t c : model.CallsOf(caller)) {
      const NameId callee = model.calls[c].callee;
      if (model.resolved) {
        // The resolution bound each call to one definition (a dispatch with several targets is
        // a call record per target), or to none: a library function.
        const CallDetails details = model.DetailsOf(model.calls[c]);
        AddEdge(f, details.calleeIndex >= 0 ? details.calleeIndex : libraryOf(callee), c);
        edgeKind_.push_back(details.kind);
        edgeVia_.push_back(details.via);
        continue;
      }
      if (firstDefinition[callee] < 0) {
        int32_t& library = libraryNode[callee];
        if (library < 0) {
          library = nodeCount();
          nodeName_.push_back(callee);
        }
        AddEdge(f, library, c);
        continue;
      }
      // A name defined in the caller's own file means that definition (a static function);
      // otherwise every definition of the name may be the one called.
      bool local = false;
      for (int32_t d = firstDefinition[callee]; d >= 0; d = nextDefinition[d]) {
        if (model.functions[d].file == caller.file) {
          AddEdge(f, d, c);
          local = true;
        }
      }
      if (!local) {
        for (int32_t d = firstDefinition[callee]; d >= 0; d = nextDefinition[d]) AddEdge(f, d, c);
      }
    }
  }
  edgeKind_.resize(edgeCall_.size(), CallKind::kDirect);
  edgeVia_.resize(edgeCall_.size(), 0);
  BuildRows(edgeFrom_, nodeCount(), outStart_, outEdges_);
  BuildRows(edgeTo_, nodeCount(), inStart_, inEdges_);
}

void CallReachGraph::AddEdge(int32_t from, int32_t to, uint32_t call) {
  edgeFrom_.push_back(from);
  edgeTo_.push_back(to);
  edgeCall_.push_back(call);
}

std::string_view CallReachGraph::FileOf(int32_t node) const {
  const int32_t function = FunctionOf(node);
  if (function < 0) return {};
  const int32_t file = model_.functions[static_cast<size_t>(function)].file;
  return file < 0 ? std::string_view{} : model_.sources[static_cast<size_t>(file)].path;
}

CallReachGraph::EdgeRange CallReachGraph::Edges(int32_t node, bool outgoing) const {
  const std::vector<int32_t>& start = outgoing ? outStart_ : inStart_;
  const std::vector<int32_t>& edges = outgoing ? outEdges_ : inEdges_;
  return {edges.data() + start[node], edges.data() + start[node + 1]};
}

std::vector<int32_t> CallReachGraph::Match(const std::vector<std::string>& patterns,
                                           bool definitionsOnly) const {
  std::vector<std::string> globs;
  std::vector<std::pair<std::string_view, std::string_view>> qualified;  // NAME, FILE
  for (const std::string& pattern : patterns) {
    const size_t mark = pattern.find(kFileMark);
    if (mark == std::string::npos) {
      globs.push_back(pattern);
    } else {
      qualified.emplace_back(std::string_view(pattern).substr(0, mark),
                             std::string_view(pattern).substr(mark + 1));
    }
  }
  // Each distinct name is matched once, however many definitions share it; a pattern without
  // wildcards is compared, not matched.
  std::vector<signed char> globMatch(model_.names.size(), -1);  // by name: -1 not yet matched
  std::vector<int32_t> nodes;
  std::string name;
  const int32_t last = definitionsOnly ? functionCount_ : nodeCount();
  for (int32_t node = 0; node < last; ++node) {
    signed char& known = globMatch[nodeName_[node]];
    if (known < 0) {
      known = 0;
      const std::string_view text = model_.PlainNameOf(nodeName_[node]);
      for (const std::string& glob : globs) {
        if (glob.find_first_of("*?[") == std::string::npos) {
          known = text == glob;
        } else {
          name.assign(text);
          known = fnmatch(glob.c_str(), name.c_str(), 0) == 0;
        }
        if (known) break;
      }
    }
    bool matches = known != 0;
    for (const auto& [name, file] : qualified) {
      if (matches) break;
      matches = model_.PlainNameOf(nodeName_[node]) == name && EndsWithPath(FileOf(node), file);
    }
    if (matches) nodes.push_back(node);
  }
  return nodes;
}

std::vector<ReachedNode> Reach(const CallReachGraph& graph, const std::vector<int32_t>& roots,
                               bool callers, int maxDepth) {
  std::vector<char> seen(static_cast<size_t>(graph.nodeCount()), 0);
  std::vector<ReachedNode> order;
  for (const int32_t root : roots) {
    if (seen[root]) continue;
    seen[root] = 1;
    order.push_back({root, 0, -1});
  }
  // The result doubles as the queue: a breadth-first search gives the shortest distances.
  for (size_t next = 0; next < order.size(); ++next) {
    const ReachedNode at = order[next];
    if (maxDepth >= 0 && at.depth >= maxDepth) continue;
    for (const int32_t edge : graph.Edges(at.node, !callers)) {
      const int32_t other = callers ? graph.EdgeFrom(edge) : graph.EdgeTo(edge);
      if (seen[other]) continue;
      seen[other] = 1;
      order.push_back({other, at.depth + 1, edge});
    }
  }
  return order;
}

ReachIndex IndexReach(const CallReachGraph& graph, const std::vector<ReachedNode>& reached) {
  ReachIndex index;
  index.edgeByNode.assign(static_cast<size_t>(graph.nodeCount()), -1);
  index.reached.assign(static_cast<size_t>(graph.nodeCount()), 0);
  for (const ReachedNode& node : reached) {
    index.edgeByNode[node.node] = node.edge;
    index.reached[node.node] = 1;
  }
  return index;
}

std::vector<int32_t> ChainTo(const CallReachGraph& graph, const std::vector<int32_t>& edgeByNode,
                             int32_t target) {
  std::vector<int32_t> chain;
  for (int32_t edge = edgeByNode[target]; edge >= 0; edge = edgeByNode[graph.EdgeFrom(edge)]) {
    chain.push_back(edge);
  }
  return {chain.rbegin(), chain.rend()};
}

std::optional<std::vector<int32_t>> ShortestChain(const CallReachGraph& graph,
                                                  const std::vector<int32_t>& roots,
                                                  const std::vector<int32_t>& targets) {
  std::vector<char> isTarget(static_cast<size_t>(graph.nodeCount()), 0);
  for (const int32_t target : targets) isTarget[target] = 1;
  const std::vector<ReachedNode> reached = Reach(graph, roots, false);
  // The search is breadth-first: the first target met is a nearest one.
  for (const ReachedNode& node : reached) {
    if (isTarget[node.node])
      return ChainTo(graph, IndexReach(graph, reached).edgeByNode, node.node);
  }
  return std::nullopt;
}

std::vector<int32_t> UnreachedFunctions(const CallReachGraph& graph,
                                        const std::vector<int32_t>& entries) {
  const ReachIndex index = IndexReach(graph, Reach(graph, entries, false));
  std::vector<int32_t> unreached;
  for (int32_t node = 0; node < graph.nodeCount(); ++node) {
    if (graph.FunctionOf(node) >= 0 && !index.reached[node]) unreached.push_back(node);
  }
  return unreached;
}

}  // namespace quillmap
