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
  /// `sources` holds the findings of every file of the table's valid modules. Names they share
  /// with another table are read as they stand now: that table may grow afterwards on another
  /// thread.
  explicit ModuleSourcesView(const ModuleSources& sources)
      : sources_(sources),
        sharedNames_(sources.sharesNames() ? sources.names().Texts()
                                           : std::vector<std::string_view>()) {}

  int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) override;
  void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) override;

 private:
  std::string_view NameOf(NameId id) const {
    return sources_.sharesNames() ? sharedNames_[id] : sources_.names()[id];
  }
  size_t NameCount() const {
    return sources_.sharesNames() ? sharedNames_.size() : sources_.names().size();
  }

  const ModuleSources& sources_;
  std::vector<std::string_view> sharedNames_;  // by id
  // Per module record: the names of its definedFunctions as ids, in the same order.
  std::vector<std::vector<NameId>> defined_;
};

}  // namespace quillmap
