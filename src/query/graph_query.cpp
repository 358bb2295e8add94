#include "query/graph_query.h"

#include <fnmatch.h>

#include <algorithm>
#include <charconv>

#include "text/text_utils.h"

namespace quillmap {

namespace {

constexpr const char* kBadOption = "bad ";
constexpr const char* kDirectionExpected = " (callees, callers or both expected)";
constexpr const char* kDepthExpected = " (a whole number from 0 expected)";
constexpr const char* kMaxNodesExpected = " (a whole number from 1 expected)";
constexpr const char* kPathExpected = " (two names A,B expected)";
constexpr const char* kCallees = "callees";
constexpr const char* kCallers = "callers";
constexpr const char* kBoth = "both";

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> names;
  while (true) {
    const size_t comma = text.find(',');
    std::string name = Trim(text.substr(0, comma));
    if (!name.empty()) names.push_back(std::move(name));
    if (comma == std::string_view::npos) return names;
    text.remove_prefix(comma + 1);
  }
}

bool ParseCount(const std::string& text, int minimum, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= minimum;
}

bool MatchesAny(const std::vector<std::string>& patterns, std::string_view name) {
  if (patterns.empty()) return false;
  const std::string text(name);  // fnmatch reads up to a NUL
  for (const std::string& pattern : patterns) {
    if (fnmatch(pattern.c_str(), text.c_str(), 0) == 0) return true;
  }
  return false;
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1 : 0)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Marks what a breadth-first search reaches from `roots` along the edges in one direction,
// without entering `blocked` nodes and without leaving `stops`.
std::vector<char> Reach(const QueryGraph& graph, const std::vector<int32_t>& roots, bool outgoing,
                        const std::vector<char>& blocked, const std::vector<char>& stops) {
  std::vector<char> reached(graph.nodeCount(), 0);
  std::vector<int32_t> queue;
  for (int32_t root : roots) {
    if (!blocked[root] && !reached[root]) {
      reached[root] = 1;
      queue.push_back(root);
    }
  }
  for (size_t next = 0; next < queue.size(); ++next) {
    const int32_t node = queue[next];
    if (stops[node]) continue;
    for (int32_t edge : graph.Edges(node, outgoing)) {
      const int32_t other = outgoing ? graph.to(edge) : graph.from(edge);
      if (blocked[other] || reached[other]) continue;
      reached[other] = 1;
      queue.push_back(other);
    }
  }
  return reached;
}

}  // namespace

bool GraphQuery::active() const {
  return !focus.empty() || !path.empty() || !omit.empty() || !leaf.empty();
}

GraphQueryResult ParseGraphQuery(const QueryOptionTexts& texts) {
  GraphQueryResult result;
  GraphQuery& query = result.query;
  const auto text = [&](const char* option) {
    const auto found = texts.find(option);
    return found == texts.end() ? std::string() : Trim(found->second);
  };
  const auto bad = [&](const char* option, const char* expected) {
    result.error = kBadOption + std::string(option) + ": " + text(option) + expected;
    return result;
  };
  query.focus = SplitNames(text(kFocusOption));
  query.omit = SplitNames(text(kOmitOption));
  query.leaf = SplitNames(text(kLeafOption));
  const std::string direction = text(kDirectionOption);
  if (direction == kCallers) {
    query.direction = QueryDirection::kCallers;
  } else if (direction == kBoth) {
    query.direction = QueryDirection::kBoth;
  } else if (!direction.empty() && direction != kCallees) {
    return bad(kDirectionOption, kDirectionExpected);
  }
  if (!text(kDepthOption).empty() && !ParseCount(text(kDepthOption), 0, query.depth)) {
    return bad(kDepthOption, kDepthExpected);
  }
  if (!text(kMaxNodesOption).empty() && !ParseCount(text(kMaxNodesOption), 1, query.maxNodes)) {
    return bad(kMaxNodesOption, kMaxNodesExpected);
  }
  if (!text(kPathOption).empty()) {
    query.path = SplitNames(text(kPathOption));
    if (query.path.size() != 2) return bad(kPathOption, kPathExpected);
  }
  return result;
}

int32_t QueryGraph::AddNode(std::string_view name) {
  const auto found = ids_.find(name);
  if (found != ids_.end()) return found->second;
  const auto id = static_cast<int32_t>(names_.size());
  names_.push_back(owned_.emplace_back(name));
  ids_.emplace(names_.back(), id);
  return id;
}

int32_t QueryGraph::NodeNamed(std::string_view name) const {
  if (lookup_) return lookup_(name);
  const auto found = ids_.find(name);
  return found == ids_.end() ? -1 : found->second;
}

void QueryGraph::AddEdge(int32_t from, int32_t to) {
  from_.push_back(from);
  to_.push_back(to);
}

void QueryGraph::Finish() {
  // Counting sort of the edge ids by source and by target: the adjacency in linear time.
  const auto build = [&](const std::vector<int32_t>& ends, std::vector<int32_t>& start,
                         std::vector<int32_t>& edges) {
    start.assign(names_.size() + 1, 0);
    for (int32_t end : ends) ++start[end + 1];
    for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    edges.assign(ends.size(), 0);
    std::vector<int32_t> fill(start.begin(), start.end() - 1);
    for (size_t edge = 0; edge < ends.size(); ++edge) {
      edges[fill[ends[edge]]++] = static_cast<int32_t>(edge);
    }
  };
  build(from_, outStart_, outEdges_);
  build(to_, inStart_, inEdges_);
  lastWords_.clear();
  for (size_t node = 0; node < names_.size(); ++node) {
    const std::string_view name = names_[node];
    const size_t cut = name.find_last_of(" \t*&");
    if (cut != std::string_view::npos && cut + 1 < name.size()) {
      lastWords_.emplace(name.substr(cut + 1), static_cast<int32_t>(node));
    }
    const size_t at = qualifiedNames_ ? name.find('@') : std::string_view::npos;
    if (at != std::string_view::npos && at > 0) {
      plainNames_.emplace(name.substr(0, at), static_cast<int32_t>(node));
    }
  }
}

std::vector<int32_t> QueryGraph::Find(std::string_view name) const {
  const int32_t exact = NodeNamed(name);
  std::vector<int32_t> nodes;
  if (qualifiedNames_) {
    const auto [first, last] = plainNames_.equal_range(name);
    for (auto it = first; it != last; ++it) nodes.push_back(it->second);
    if (!nodes.empty()) {
      if (exact >= 0) nodes.push_back(exact);
      std::sort(nodes.begin(), nodes.end());
      return nodes;
    }
  }
  if (exact >= 0) return {exact};
  const auto [first, last] = lastWords_.equal_range(name);
  for (auto it = first; it != last; ++it) nodes.push_back(it->second);
  std::sort(nodes.begin(), nodes.end());
  return nodes;
}

std::vector<std::string> QueryGraph::Closest(std::string_view name, size_t count) const {
  std::vector<std::pair<size_t, std::string_view>> ranked;
  ranked.reserve(names_.size());
  for (const std::string_view known : names_) ranked.emplace_back(EditDistance(name, known), known);
  count = std::min(count, ranked.size());
  std::partial_sort(ranked.begin(), ranked.begin() + count, ranked.end());
  std::vector<std::string> closest;
  for (size_t i = 0; i < count; ++i) closest.emplace_back(ranked[i].second);
  return closest;
}

QueryGraph::EdgeRange QueryGraph::Edges(int32_t node, bool outgoing) const {
  const std::vector<int32_t>& start = outgoing ? outStart_ : inStart_;
  const std::vector<int32_t>& edges = outgoing ? outEdges_ : inEdges_;
  return {edges.data() + start[node], edges.data() + start[node + 1]};
}

QueryOutcome RunQuery(const QueryGraph& graph, const GraphQuery& query) {
  const int32_t nodes = graph.nodeCount();
  QueryOutcome outcome;
  outcome.keepNode.assign(nodes, 0);
  outcome.keepEdge.assign(graph.edgeCount(), 0);
  std::vector<char> omitted(nodes, 0), leaves(nodes, 0);
  for (int32_t node = 0; node < nodes; ++node) {
    omitted[node] = MatchesAny(query.omit, graph.name(node));
    leaves[node] = MatchesAny(query.leaf, graph.name(node));
  }

  std::vector<int32_t> roots;
  for (const std::string& name : query.path.empty() ? query.focus : query.path) {
    const std::vector<int32_t> nodes = graph.Find(name);
    if (nodes.empty()) {
      std::string closest;
      for (const std::string& known : graph.Closest(name, 3)) {
        closest += (closest.empty() ? "" : ", ") + known;
      }
      outcome.error = kUnknownName + name + (closest.empty() ? "" : kClosestNames + closest + ")");
      return outcome;
    }
    roots.insert(roots.end(), nodes.begin(), nodes.end());
  }
  std::vector<char> expandable(nodes, 1);  // roots are expanded even when they are leaves
  for (int32_t node = 0; node < nodes; ++node) expandable[node] = !leaves[node];
  for (int32_t root : roots) expandable[root] = 1;

  if (!query.path.empty()) {
    // On a path from A to B: reached from A and reaching B, through nodes that are expanded.
    const std::vector<int32_t> starts = graph.Find(query.path[0]);
    const std::vector<int32_t> ends = graph.Find(query.path[1]);
    std::vector<char> stops(nodes, 0), blocked = omitted;
    for (int32_t node = 0; node < nodes; ++node) {
      stops[node] = !expandable[node];
      // A node that is not expanded has no call that leads on towards B.
      if (!expandable[node]) blocked[node] = 1;
    }
    for (int32_t end : ends) blocked[end] = omitted[end];
    const std::vector<char> fromA = Reach(graph, starts, true, omitted, stops);
    const std::vector<char> toB = Reach(graph, ends, false, blocked, std::vector<char>(nodes, 0));
    for (int32_t node = 0; node < nodes; ++node) outcome.keepNode[node] = fromA[node] && toB[node];
    for (int32_t edge = 0; edge < graph.edgeCount(); ++edge) {
      const int32_t from = graph.from(edge);
      const int32_t to = graph.to(edge);
      outcome.keepEdge[edge] = expandable[from] && outcome.keepNode[from] && outcome.keepNode[to];
    }
  } else if (!roots.empty()) {
    // One breadth-first search in both directions at once, so that a cap cuts the nodes
    // farthest from the focus, whichever way they lie.
    const bool callees = query.direction != QueryDirection::kCallers;
    const bool callers = query.direction != QueryDirection::kCallees;
    std::vector<int32_t> distance[2] = {std::vector<int32_t>(nodes, -1),
                                        std::vector<int32_t>(nodes, -1)};
    std::vector<std::pair<int32_t, int>> queue;  // node, direction (0 callees, 1 callers)
    int32_t kept = 0;
    for (int32_t root : roots) {
      if (omitted[root]) continue;
      if (!outcome.keepNode[root]) ++kept;
      outcome.keepNode[root] = 1;
      for (int direction = 0; direction < 2; ++direction) {
        if ((direction == 0 ? callees : callers) && distance[direction][root] < 0) {
          distance[direction][root] = 0;
          queue.emplace_back(root, direction);
        }
      }
    }
    std::vector<int32_t> countedFor(nodes, -1);  // the expansion that counted a left-out node
    for (size_t next = 0; next < queue.size(); ++next) {
      const auto [node, direction] = queue[next];
      std::vector<int32_t>& dist = distance[direction];
      if (!expandable[node] || (query.depth != kNoLimit && dist[node] >= query.depth)) continue;
      const bool outgoing = direction == 0;
      int32_t leftOut = 0;
      for (int32_t edge : graph.Edges(node, outgoing)) {
        const int32_t other = outgoing ? graph.to(edge) : graph.from(edge);
        if (omitted[other]) continue;
        if (!outcome.keepNode[other]) {
          if (query.maxNodes != kNoLimit && kept >= query.maxNodes) {
            if (countedFor[other] != static_cast<int32_t>(next)) ++leftOut;
            countedFor[other] = static_cast<int32_t>(next);
            continue;
          }
          outcome.keepNode[other] = 1;
          ++kept;
        }
        if (dist[other] < 0) {
          dist[other] = dist[node] + 1;
          queue.emplace_back(other, direction);
        }
        outcome.keepEdge[edge] = 1;
      }
      if (leftOut > 0) outcome.cuts.push_back({node, leftOut, !outgoing});
    }
  } else {
    // Only names left out or not expanded: the rest of the graph stays.
    for (int32_t node = 0; node < nodes; ++node) outcome.keepNode[node] = !omitted[node];
    for (int32_t edge = 0; edge < graph.edgeCount(); ++edge) {
      const int32_t from = graph.from(edge);
      outcome.keepEdge[edge] =
          outcome.keepNode[from] && outcome.keepNode[graph.to(edge)] && !leaves[from];
    }
  }
  outcome.keptNodes =
      static_cast<int32_t>(std::count(outcome.keepNode.begin(), outcome.keepNode.end(), char{1}));
  return outcome;
}

}  // namespace quillmap
