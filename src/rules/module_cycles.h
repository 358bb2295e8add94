/// Cycles between modules: the strongly connected components of the module call graph and, in
/// each, one shortest cycle, so that a report stays bounded however densely modules call each
/// other.
#pragma once

#include <cstdint>
#include <vector>

namespace quillmap {

/// A directed graph over modules 0 to size - 1: `calls[m]` lists the modules that m calls.
using ModuleAdjacency = std::vector<std::vector<int32_t>>;

/// One shortest cycle of every strongly connected component with more than one module, as the
/// modules along it (the first module is not repeated at the end). A cycle starts at the lowest
/// module that lies on a shortest cycle of its component and follows the lowest module at each
/// step among equally short ways; the cycles are ordered by their first module.
std::vector<std::vector<int32_t>> ShortestCyclePerComponent(const ModuleAdjacency& calls);

}  // namespace quillmap
