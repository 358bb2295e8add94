#include "writers/graph_diff_dot.h"

#include "config/app_identity.h"
#include "dot/dot_text.h"
#include "writers/call_graph_dot.h"

namespace quillmap {

namespace {

constexpr const char* kGraphStart = "digraph diff";
constexpr const char* kUnchangedNodes = "  node [color=grey, fontcolor=grey40]";
constexpr const char* kUnchangedEdges = "  edge [color=grey, fontcolor=grey40]";
constexpr const char* kAddedStyle = "color=green3, fontcolor=green4, penwidth=2";
constexpr const char* kRemovedStyle = "color=red, fontcolor=red3, penwidth=2";
constexpr const char* kUndefinedStyle = "style=dashed";  // a name that no export defines
constexpr const char* kFileSeparator = "@";              // in the ID of a name told apart by file
constexpr const char* kComparing = "difference of ";
constexpr const char* kAnd = " and ";

const char* StateStyle(DiffState state) {
  return state == DiffState::kAdded     ? kAddedStyle
         : state == DiffState::kRemoved ? kRemovedStyle
                                        : "";
}

std::string NodeId(const DiffNode& node) {
  return DotId(node.file.empty() ? node.name : node.name + kFileSeparator + node.file);
}

void Join(std::string& list, const std::string& attribute) {
  if (attribute.empty()) return;
  list += list.empty() ? "" : ", ";
  list += attribute;
}

std::string NodeLine(const DiffNode& node) {
  std::string attributes;
  if (!node.file.empty()) {
    // The name above its file, as a quoted label with a DOT line break between them.
    Join(attributes,
         "label=\"" + EscapeDotString(node.name) + "\\n" + EscapeDotString(node.file) + "\"");
  }
  Join(attributes, StateStyle(node.state));
  if (!node.defined) Join(attributes, kUndefinedStyle);
  return "  " + NodeId(node) + (attributes.empty() ? "" : " [" + attributes + "]");
}

std::string EdgeLine(const GraphDiff& diff, const DiffEdge& edge) {
  const DiffNode& callee = diff.nodes[static_cast<size_t>(edge.to)];
  std::string attributes;
  // The call text says more than the edge only when it carries an argument.
  if (edge.callText != callee.name + "()" && edge.callText != callee.name) {
    Join(attributes, "label=" + DotId(edge.callText));
  }
  Join(attributes, StateStyle(edge.state));
  return "  " + NodeId(diff.nodes[static_cast<size_t>(edge.from)]) + " -> " + NodeId(callee) +
         (attributes.empty() ? "" : " [" + attributes + "]");
}

std::string Counted(int added, int removed, int same) {
  return std::to_string(added) + " appeared, " + std::to_string(removed) + " disappeared, " +
         std::to_string(same) + " unchanged";
}

}  // namespace

DiffCounts CountDiff(const GraphDiff& diff) {
  DiffCounts counts;
  for (const DiffNode& node : diff.nodes) {
    if (!node.defined) continue;
    ++(node.state == DiffState::kAdded     ? counts.functionsAdded
       : node.state == DiffState::kRemoved ? counts.functionsRemoved
                                           : counts.functionsSame);
  }
  for (const DiffEdge& edge : diff.edges) {
    ++(edge.state == DiffState::kAdded     ? counts.callsAdded
       : edge.state == DiffState::kRemoved ? counts.callsRemoved
                                           : counts.callsSame);
  }
  return counts;
}

std::string DiffSummary(const DiffCounts& counts) {
  return "functions: " +
         Counted(counts.functionsAdded, counts.functionsRemoved, counts.functionsSame) +
         "; calls: " + Counted(counts.callsAdded, counts.callsRemoved, counts.callsSame);
}

void ForEachGraphDiffDotLine(const GraphDiff& diff, const std::string& olderPath,
                             const std::string& newerPath,
                             const std::function<void(const std::string&)>& line) {
  line(DotHeaderLine());
  line(DotLineComment(kComparing + olderPath + kAnd + newerPath));
  line(DotLineComment(DiffSummary(CountDiff(diff))));
  line(kGraphStart);
  line("{");
  line(kUnchangedNodes);
  line(kUnchangedEdges);
  for (const DiffNode& node : diff.nodes) line(NodeLine(node));
  for (const DiffEdge& edge : diff.edges) line(EdgeLine(diff, edge));
  line("}");
}

std::vector<std::string> GraphDiffDotLines(const GraphDiff& diff, const std::string& olderPath,
                                           const std::string& newerPath) {
  std::vector<std::string> lines;
  ForEachGraphDiffDotLine(diff, olderPath, newerPath,
                          [&](const std::string& text) { lines.push_back(text); });
  return lines;
}

}  // namespace quillmap
