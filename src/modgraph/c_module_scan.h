/// The inter-module call scan of the C-aware mode: a module's functions are the definitions the
/// C recogniser finds in its files, and a body calls a function of another module where it holds
/// that function's name as a whole identifier followed by "(", outside comments and literals.
/// The module log and the activity log get the same kinds of lines as in the line mode.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "modgraph/module_scan.h"

namespace quillmap {

class CModuleScan : public ModuleScanEngine {
 public:
  int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) override;
  void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) override;

  // A function body of a source: its name and the names it calls, in order.
  struct Body {
    std::string caller;
    std::vector<std::string> callees;
    std::vector<int32_t> calleeLines;  // 1-based, one for each callee
  };

 private:
  struct Source {
    bool opened = false;
    bool readFailed = false;  // reading stopped at an I/O error
    std::vector<Body> bodies;
    std::vector<std::string> headers;  // of the bodies, for the module log of pass 1
  };

  // The file at `path`, read and scanned at its first use in the run.
  const Source& Load(const std::string& path);

  std::unordered_map<std::string, std::unique_ptr<Source>> sources_;
};

}  // namespace quillmap
