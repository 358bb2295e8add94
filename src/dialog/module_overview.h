/// The module graph as the dialog's overview draws it: one box a module, one edge between two
/// modules as wide as the number of calls it stands for; a module the user expanded shows the
/// functions through which it calls or is called, each call drawn to its end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/graph_model.h"

namespace quillmap {

/// The node name of a module's box: its name in brackets, which no C function name can be.
std::string ModuleBoxName(std::string_view module);
/// The module a box's node name stands for; "" for another node.
std::string ModuleOfBox(std::string_view nodeName);

/// The overview as DOT text. An expanded module shows at most `maxFunctions` functions; the
/// rest stand in one node that says how many were left out.
std::string ModuleOverviewDot(const ModuleModel& model, const std::vector<std::string>& expanded,
                              size_t maxFunctions = 150);

}  // namespace quillmap
