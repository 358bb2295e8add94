#include "modgraph/module_table.h"

#include "config/paths.h"

namespace quillmap {

int ReadModuleConfig(ScanContext&, ModuleTable& table, const std::string& cfgPath) {
  DirectoryOf(cfgPath);
  table.moduleCount = 0;
  return 0;
}

int WriteModuleGraph(ScanContext&, ModuleTable&) { return 0; }

}  // namespace quillmap
