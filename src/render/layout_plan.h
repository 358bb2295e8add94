/// Which Graphviz engine lays out a graph of a given size, and what to fall back on when the
/// layout does not finish within the time budget. Pure logic, so the choice is tested without
/// Graphviz.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quillmap {

/// The size of a parsed graph, as far as the choice of layout depends on it.
struct GraphSize {
  int nodes = 0;
  int edges = 0;
  int labelledEdges = 0;  // edges with a non-empty "label"
};

/// One layout to try: an engine, graph attributes set just for it, and the point of the time
/// budget (a fraction from 0 to 1) by which it must have finished.
struct LayoutAttempt {
  std::string engine;
  std::vector<std::pair<std::string, std::string>> graphAttributes;
  double budgetEnd = 1.0;
  /// Why this layout, for the log: "" for plain dot, else a short reason.
  std::string reason;
};

struct LayoutPlan {
  std::vector<LayoutAttempt> attempts;  // tried in order until one finishes
  /// Edge labels become external labels ("xlabel"), which dot places after the layout instead
  /// of ranking every label as a node of its own.
  bool labelsAsXlabels = false;
};

/// Past these sizes plain dot is not tried; past the second ones no dot at all (the measured
/// cost of dot's network simplex and crossing minimisation grows far faster than the graph).
inline constexpr int kPlainDotMaxNodes = 150;
inline constexpr int kPlainDotMaxEdges = 300;
inline constexpr int kLimitedDotMaxNodes = 1000;
inline constexpr int kLimitedDotMaxEdges = 2000;
/// More labelled edges than this and labels are drawn as external labels.
inline constexpr int kMaxRankedEdgeLabels = 100;

/// The reasons the log gives for a layout other than plain dot.
inline constexpr const char* kNetworkSimplexLimits =
    "network-simplex limits nslimit=2, nslimit1=2, mclimit=0.5, searchsize=10";
inline constexpr const char* kTooLargeForDot = "too large for dot";
inline constexpr const char* kFallbackAfterTimeout = "the layout before did not finish in time";

LayoutPlan PlanLayout(const GraphSize& size);

}  // namespace quillmap
