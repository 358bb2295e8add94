/// Queries that bound a graph to what a person can read: the part reachable from focus names
/// (callees, callers or both, to a depth), the call paths from A to B, names left out or not
/// expanded, and a cap on the number of nodes with visible marks where the graph was cut.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/config_keys.h"

namespace quillmap {

enum class QueryDirection { kCallees, kCallers, kBoth };

/// No limit, for `depth` and `maxNodes`.
inline constexpr int kNoLimit = -1;

struct GraphQuery {
  std::vector<std::string> focus;
  QueryDirection direction = QueryDirection::kCallees;
  int depth = kNoLimit;
  std::vector<std::string> path;  // empty, or the two names A and B
  std::vector<std::string> omit;  // glob patterns (fnmatch)
  std::vector<std::string> leaf;  // glob patterns
  int maxNodes = kNoLimit;        // applies to focus queries only
  /// False when no option is set: the graph is written whole, exactly as without queries.
  bool active() const;
};

/// Option texts by option name; a missing or empty text means the option is not set.
using QueryOptionTexts = std::unordered_map<std::string, std::string>;

/// The query, or the error entry saying which option is bad (then `error` is not empty).
struct GraphQueryResult {
  GraphQuery query;
  std::string error;
};
GraphQueryResult ParseGraphQuery(const QueryOptionTexts& texts);

/// A graph of named nodes and directed edges, with its adjacency built once for the queries.
class QueryGraph {
 public:
  /// The node of `name`, added when new.
  int32_t AddNode(std::string_view name);
  /// A new node whose name the caller keeps alive and adds once only: it is neither copied nor
  /// hashed (a whole tree's call graph has a million names, held by its model already). A graph
  /// built so finds its nodes by exact name through `lookup`, which gives the node or -1; it takes
  /// no AddNode.
  int32_t AddKnownNode(std::string_view name) {
    names_.push_back(name);
    return static_cast<int32_t>(names_.size() - 1);
  }
  void SetNameLookup(std::function<int32_t(std::string_view)> lookup) {
    lookup_ = std::move(lookup);
  }
  /// Edge ids count from 0 in the order added; parallel edges and self-edges are fine.
  void AddEdge(int32_t from, int32_t to);
  /// Builds the adjacency and the index of last words; call after the last AddEdge.
  void Finish();
  /// Node names may be file-qualified ("helper@dir/a.c"): the plain name finds every one of
  /// them. Call before Finish.
  void QualifiedNames() { qualifiedNames_ = true; }

  int32_t nodeCount() const { return static_cast<int32_t>(names_.size()); }
  int32_t edgeCount() const { return static_cast<int32_t>(from_.size()); }
  std::string_view name(int32_t node) const { return names_[node]; }
  int32_t from(int32_t edge) const { return from_[edge]; }
  int32_t to(int32_t edge) const { return to_[edge]; }
  /// The nodes a name given by the user means: the node of that name, or else every node whose
  /// name ends in it as a separate word ("init" finds the header text "uint32_t init", so the
  /// line mode's node names can be named as plainly as the C-aware mode's). With qualified
  /// names, a plain name finds its namesakes, qualified or not.
  std::vector<int32_t> Find(std::string_view name) const;
  /// Up to `count` known names closest to `name` by edit distance, closest first.
  std::vector<std::string> Closest(std::string_view name, size_t count) const;

  /// The edges leaving (`outgoing`) or entering a node.
  struct EdgeRange {
    const int32_t* begin_;
    const int32_t* end_;
    const int32_t* begin() const { return begin_; }
    const int32_t* end() const { return end_; }
  };
  EdgeRange Edges(int32_t node, bool outgoing) const;

 private:
  // The node with this exact name, or -1.
  int32_t NodeNamed(std::string_view name) const;

  std::deque<std::string> owned_;  // the names AddNode copied: stable, so views stay valid
  std::vector<std::string_view> names_;                // by node
  std::unordered_map<std::string_view, int32_t> ids_;  // of AddNode's names
  std::function<int32_t(std::string_view)> lookup_;    // of AddKnownNode's names
  std::unordered_multimap<std::string_view, int32_t> lastWords_;  // of names with blanks or '*'
  bool qualifiedNames_ = false;
  std::unordered_multimap<std::string_view, int32_t> plainNames_;  // of file-qualified names
  std::vector<int32_t> from_, to_;
  std::vector<int32_t> outStart_, outEdges_, inStart_, inEdges_;
};

/// A place where the node cap cut the graph: `count` neighbours of `node` in the direction of
/// the search (callees, or callers when `callers`) were left out.
struct CutMark {
  int32_t node;
  int32_t count;
  bool callers;
};

/// What a query keeps of a QueryGraph.
struct QueryOutcome {
  std::vector<char> keepNode;  // by node id
  std::vector<char> keepEdge;  // by edge id
  std::vector<CutMark> cuts;
  std::string error;  // an unknown focus or path name, with the closest known names
  int32_t keptNodes = 0;
};

/// Runs the query in time linear in the graph's size (plus the glob matches, once per node).
QueryOutcome RunQuery(const QueryGraph& graph, const GraphQuery& query);

/// Log entries of the queries.
inline constexpr const char* kUnknownName = "unknown name: ";
inline constexpr const char* kClosestNames = " (closest: ";
inline constexpr const char* kEmptyQueryResult = "the query leaves an empty graph: ";
/// The label of a cut mark: the number, then this.
inline constexpr const char* kCutMarkLabel = " more, cut by max_nodes";

}  // namespace quillmap
