/// The inter-module call scan of the C-aware mode as a view of what the run's one scan found
/// (ModuleSources): a module's functions are the definitions found in its files, and a call
/// links two modules where a body of one calls, by name, a function defined in the other. The
/// module log and the activity log get the lines of the line mode's engines, with C's rules for
/// what a definition and a call are.
#pragma once

#include <string_view>
#include <vector>

#include "model/module_sources.h"
#include "modgraph/module_scan.h"

namespace quillmap {

class ModuleSourcesView : public ModuleScanEngine {
 public:
  /// `sources` holds the findings of every file of the table's valid modules.
  explicit ModuleSourcesView(const ModuleSources& sources) : sources_(sources) {}

  int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) override;
  void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) override;

 private:
  std::string_view NameOf(NameId id) const { return sources_.names()[id]; }

  const ModuleSources& sources_;
  // Per module record: the names of its definedFunctions as ids, in the same order.
  std::vector<std::vector<NameId>> defined_;
};

}  // namespace quillmap
