/// The module graph output: the two passes of the inter-module call scan fill the module table,
/// then the module graph DOT file is written from it, one cluster per module, the functions as
/// nodes and the calls between modules as edges.
#pragma once

#include <vector>

#include "modgraph/module_scan.h"
#include "modgraph/module_table.h"
#include "query/model_query.h"
#include "context/scan_context.h"

namespace quillmap {

/// The DOT attributes added to an edge that breaks a module rule; later attributes win.
inline constexpr const char* kViolationEdgeAttributes = "[color=red, style=bold]";

/// Runs the two passes of `engine` over the modules of `table`, with the module log's head.
/// Returns the number of modules scanned (0: there is no module graph to write).
int ScanModules(ScanContext& context, ModuleTable& table, ModuleScanEngine& engine);

/// Writes the module graph DOT file from what the passes left in `table`: a view of the table,
/// one cluster per valid module, then the edges.
/// Edges flagged in `violatingEdges` (one flag per edge line, from the module rules) are drawn
/// with kViolationEdgeAttributes. With a `selection` (by module and by edge line), only the
/// modules and edges it keeps are written, each cluster with the functions of its kept edges;
/// With `model` (which the table's calls and function lists moved to, a module per valid record
/// in record order), the calls and each module's functions are read from there; the selection is
/// made over its calls, one per edge line.
void WriteModuleGraphDot(ScanContext& context, const ModuleTable& table,
                         const std::vector<bool>& violatingEdges = {},
                         const GraphSelection* selection = nullptr,
                         const ModuleModel* model = nullptr);

/// Scans the modules of `table` with `engine` and writes the module graph. Returns the number of
/// modules scanned; 0 leaves the module graph file untouched. (WriteModuleGraph without an engine
/// uses the default one.)
int WriteModuleGraph(ScanContext& context, ModuleTable& table, ModuleScanEngine& engine);

}  // namespace quillmap
