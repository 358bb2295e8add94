/// The module graph output: drives the two passes of the inter-module call scan and writes the
/// module graph DOT file, one cluster per module, the functions as nodes and the calls between
/// modules as edges.
#pragma once

#include "scan/scan_context.h"
#include "modgraph/module_scan.h"
#include "modgraph/module_table.h"

namespace quillmap {

/// Writes the module graph of `table` with the passes of `engine`. Returns the number of modules
/// scanned; 0 leaves the module graph file untouched. (WriteModuleGraph without an engine uses
/// the default one.)
int WriteModuleGraph(ScanContext& context, ModuleTable& table, ModuleScanEngine& engine);

}  // namespace quillmap
