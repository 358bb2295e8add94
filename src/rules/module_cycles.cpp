#include "rules/module_cycles.h"

#include <algorithm>
#include <deque>

namespace quillmap {

namespace {

// Tarjan's algorithm without recursion: the component number of every module.
std::vector<int32_t> ComponentOf(const ModuleAdjacency& calls) {
  const int32_t n = static_cast<int32_t>(calls.size());
  std::vector<int32_t> index(n, -1), low(n, 0), component(n, -1);
  std::vector<char> onStack(n, 0);
  std::vector<int32_t> stack;
  std::vector<std::pair<int32_t, size_t>> frames;  // module, next edge to follow
  int32_t nextIndex = 0, components = 0;
  for (int32_t root = 0; root < n; ++root) {
    if (index[root] >= 0) continue;
    frames.push_back({root, 0});
    index[root] = low[root] = nextIndex++;
    stack.push_back(root);
    onStack[root] = 1;
    while (!frames.empty()) {
      auto& [v, edge] = frames.back();
      if (edge < calls[v].size()) {
        const int32_t w = calls[v][edge++];
        if (index[w] < 0) {
          index[w] = low[w] = nextIndex++;
          stack.push_back(w);
          onStack[w] = 1;
          frames.push_back({w, 0});
        } else if (onStack[w]) {
          low[v] = std::min(low[v], index[w]);
        }
        continue;
      }
      const int32_t done = v;
      frames.pop_back();
      if (!frames.empty()) {
        const int32_t parent = frames.back().first;
        low[parent] = std::min(low[parent], low[done]);
      }
      if (low[done] == index[done]) {
        int32_t w;
        do {
          w = stack.back();
          stack.pop_back();
          onStack[w] = 0;
          component[w] = components;
        } while (w != done);
        ++components;
      }
    }
  }
  return component;
}

}  // namespace

std::vector<std::vector<int32_t>> ShortestCyclePerComponent(const ModuleAdjacency& calls) {
  const int32_t n = static_cast<int32_t>(calls.size());
  const std::vector<int32_t> component = ComponentOf(calls);
  // Neighbours in ascending order make the chosen cycle independent of the order calls were
  // found in.
  ModuleAdjacency sorted = calls;
  for (auto& targets : sorted) {
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
  }

  const int32_t components = n == 0 ? 0 : *std::max_element(component.begin(), component.end()) + 1;
  std::vector<std::vector<int32_t>> best(components);
  std::vector<int32_t> parent(n), distance(n);
  std::deque<int32_t> queue;
  // A breadth-first search from every module within its component: the shortest way back to
  // the start is the shortest cycle through it. Once a component's best cycle has two modules
  // nothing shorter exists, so a dense component costs one search per module at most.
  for (int32_t start = 0; start < n; ++start) {
    std::vector<int32_t>& cycle = best[component[start]];
    if (cycle.size() == 2) continue;
    std::fill(distance.begin(), distance.end(), -1);
    distance[start] = 0;
    queue.assign(1, start);
    int32_t closing = -1;  // the module whose call leads back to the start
    while (!queue.empty() && closing < 0) {
      const int32_t v = queue.front();
      queue.pop_front();
      if (!cycle.empty() && distance[v] + 1 >= static_cast<int32_t>(cycle.size())) break;
      for (int32_t w : sorted[v]) {
        if (component[w] != component[start]) continue;
        if (w == start) {
          if (v == start) continue;  // calls within a module are not cycles
          closing = v;
          break;
        }
        if (distance[w] >= 0) continue;
        distance[w] = distance[v] + 1;
        parent[w] = v;
        queue.push_back(w);
      }
    }
    if (closing < 0) continue;
    std::vector<int32_t> found;
    for (int32_t v = closing; v != start; v = parent[v]) found.push_back(v);
    found.push_back(start);
    std::reverse(found.begin(), found.end());
    if (cycle.empty() || found.size() < cycle.size()) cycle = std::move(found);
  }
  std::vector<std::vector<int32_t>> cycles;
  for (auto& cycle : best) {
    if (!cycle.empty()) cycles.push_back(std::move(cycle));
  }
  std::sort(cycles.begin(), cycles.end(),
            [](const auto& a, const auto& b) { return a.front() < b.front(); });
  return cycles;
}

}  // namespace quillmap
