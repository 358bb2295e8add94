/// The difference of two graph exports as a DOT file: the call graph of both, with what
/// appeared in green, what disappeared in red and the rest in grey.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "json/graph_diff.h"

namespace quillmap {

/// How many nodes and edges of a difference are in each state.
struct DiffCounts {
  int functionsAdded = 0, functionsRemoved = 0, functionsSame = 0;
  int callsAdded = 0, callsRemoved = 0, callsSame = 0;
};
DiffCounts CountDiff(const GraphDiff& diff);

/// "functions: 2 appeared, 1 disappeared, 7 unchanged; calls: ..." (names no export defines
/// are not counted as functions).
std::string DiffSummary(const DiffCounts& counts);

/// The DOT lines ("digraph diff", without line ends) of `diff`, headed by the tool's header line
/// and a comment naming the two exports with the summary.
std::vector<std::string> GraphDiffDotLines(const GraphDiff& diff, const std::string& olderPath,
                                           const std::string& newerPath);
/// The same lines handed to `line` one by one, so that a large difference is never held as
/// text whole.
void ForEachGraphDiffDotLine(const GraphDiff& diff, const std::string& olderPath,
                             const std::string& newerPath,
                             const std::function<void(const std::string&)>& line);

}  // namespace quillmap
