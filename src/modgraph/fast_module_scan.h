/// The inter-module call scan's fast engine: each module file read once per run, each module's
/// body starts, body lines and "}" lines found once (they do not depend on the target module),
/// the function names of all modules found in a body line by one multi-pattern pass, and the
/// log lines, table entries and activity entries then replayed per target module in exactly
/// the order of the pair-by-pair reference engine.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/source_text.h"
#include "text/text_arena.h"
#include "modgraph/module_scan.h"

namespace quillmap {

class FastModuleScan : public ModuleScanEngine {
 public:
  int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) override;
  void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) override;

  /// How often a source file was read in the last run.
  int filesRead() const { return filesRead_; }

 private:
  struct Source {
    explicit Source(TextArena& arena) : contents(arena) {}
    bool opened = false;
    bool hasNul = false;  // lines end at their first NUL byte
    SourceText contents;  // as SourceReader delivers it
    std::string_view text() const { return contents.text(); }
  };

  // The file at `path`, read at its first use in the run.
  const Source& Load(const std::string& path);

  // The texts of the run's sources, all in memory from pass 1 to the end of pass 2.
  TextArena arena_;
  std::unordered_map<std::string, std::unique_ptr<Source>> sources_;
  int filesRead_ = 0;
};

}  // namespace quillmap
