#include "dialog/module_overview.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "dot/dot_text.h"

namespace quillmap {

namespace {
constexpr const char* kHeader =
    "digraph modules {\n  rankdir=LR;\n  node [shape=box, style=filled, fillcolor=\"#e8eef8\"];\n";
constexpr const char* kLeftOut = " more";
}  // namespace

std::string ModuleBoxName(std::string_view module) {
  // Appended, not concatenated: GCC 12 warns falsely on 'literal + std::string'.
  std::string box = "[";
  return box.append(module).append("]");
}

std::string ModuleOfBox(std::string_view nodeName) {
  if (nodeName.size() < 2 || nodeName.front() != '[' || nodeName.back() != ']') return {};
  return std::string(nodeName.substr(1, nodeName.size() - 2));
}

std::string ModuleOverviewDot(const ModuleModel& model, const std::vector<std::string>& expanded,
                              size_t maxFunctions) {
  const size_t modules = model.modules.size();
  std::vector<bool> open(modules, false);
  for (size_t m = 0; m < modules; ++m) {
    open[m] = std::find(expanded.begin(), expanded.end(), model.modules[m].name) != expanded.end();
  }
  // The functions an open module shows: those at an end of one of its calls, in call order.
  std::vector<std::vector<std::string>> shown(modules);
  std::vector<std::set<std::string>> shownSet(modules);
  std::vector<size_t> leftOut(modules, 0);
  const auto show = [&](int32_t module, const std::string& function) {
    if (module < 0 || !open[module] || shownSet[module].count(function) > 0) return;
    if (shown[module].size() == maxFunctions) {
      ++leftOut[module];
      shownSet[module].insert(function);
      return;
    }
    shown[module].push_back(function);
    shownSet[module].insert(function);
  };
  for (const ModuleCallRecord& call : model.calls) {
    show(call.fromModule, std::string(model.calls.CallerOf(call)));
    show(call.toModule, std::string(model.calls.CalleeOf(call)));
  }
  // Each call's ends: its function when that is shown, else its module's box (or the node of
  // the functions left out).
  const auto end = [&](int32_t module, const std::string& function) {
    if (!open[module]) return ModuleBoxName(model.modules[module].name);
    const std::vector<std::string>& names = shown[module];
    if (std::find(names.begin(), names.end(), function) != names.end()) return function;
    return ModuleBoxName(model.modules[module].name) + kLeftOut;
  };
  std::map<std::pair<std::string, std::string>, size_t> edges;
  for (const ModuleCallRecord& call : model.calls) {
    if (call.fromModule < 0 || call.toModule < 0) continue;
    ++edges[{end(call.fromModule, std::string(model.calls.CallerOf(call))),
             end(call.toModule, std::string(model.calls.CalleeOf(call)))}];
  }

  std::string dot = kHeader;
  for (size_t m = 0; m < modules; ++m) {
    const ModuleInfo& module = model.modules[m];
    if (!open[m]) {
      dot.append("  ").append(DotId(ModuleBoxName(module.name))).append(" [label=\"");
      dot.append(EscapeDotString(module.name)).append("\\n");
      dot.append(std::to_string(module.definedFunctions.size())).append(" functions\"];\n");
      continue;
    }
    std::string cluster = "cluster_";
    dot.append("  subgraph ").append(DotId(cluster.append(module.name))).append(" {\n    label=");
    dot.append(DotId(module.name)).append(";\n    style=rounded;\n");
    for (const std::string& function : shown[m]) {
      dot.append("    ").append(DotId(function)).append(" [fillcolor=white];\n");
    }
    if (leftOut[m] > 0) {
      dot.append("    ").append(DotId(ModuleBoxName(module.name) + kLeftOut)).append(" [label=");
      dot.append(DotId(std::to_string(leftOut[m]) + kLeftOut)).append(", style=dashed];\n");
    }
    dot += "  }\n";
  }
  for (const auto& [ends, count] : edges) {
    const double width = 1 + std::log2(static_cast<double>(count));
    char attributes[96];
    std::snprintf(attributes, sizeof attributes, " [penwidth=%.2f, label=\"%zu\"];\n", width,
                  count);
    dot.append("  ").append(DotId(ends.first)).append(" -> ").append(DotId(ends.second));
    dot += attributes;
  }
  return dot + "}\n";
}

}  // namespace quillmap
