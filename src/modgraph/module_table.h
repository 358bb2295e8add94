/// The module table: the modules of the section "modules" (named groups of C sources with their
/// DOT attributes), what the inter-module call scan finds in them, and the module log.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "context/scan_context.h"
#include "model/graph_model.h"
#include "text/packed_strings.h"
#include "text/text_utils.h"

namespace quillmap {

/// The line that separates the sections of the module log.
inline constexpr const char* kModuleLogSeparator =
    "***********************************************************";

struct ModuleRecord {
  int valid = 0;
  std::string moduleName;
  StringList clusterAttributes;
  std::string nodeAttributes;
  std::string callAttributes;
  StringList files;
  PackedStrings definedFunctions;  // duplicates kept
  StringList linkedFunctions;   // without duplicates
};

struct ModuleTable {
  std::array<ModuleRecord, kMaxModules> modules;
  int moduleCount = 0;
  std::string moduleLogPath;
  std::string moduleDotPath;
  StringList graphAttributeLines;
  /// The calls that link modules, each the first found of its edge line (see EdgeLineOf; no two
  /// give the same line), with the file and line where it stands (module indexes are record
  /// indexes).
  ModuleCalls calls;
};

/// Fills `table` from the run's module settings and starts the module log. Returns the number of
/// modules read. Throws FileError when the configuration at `cfgPath` cannot be opened.
int ReadModuleConfig(ScanContext& context, ModuleTable& table, const std::string& cfgPath);

/// The resolved source paths of the modules that ReadModuleConfig would read from `settings`,
/// module by module in file order; `cfgDir` is the configuration's folder. The lists are
/// resolved through `lists`, which keeps them for the run.
StringList ModuleSourcePaths(SourceListCache& lists, const ScanSettings& settings,
                             const std::string& cfgDir);

/// Runs the two passes of the inter-module call scan and writes the module graph. Returns the
/// number of modules scanned (0: nothing written). Defined with the module graph output.
int WriteModuleGraph(ScanContext& context, ModuleTable& table);

/// "<from>_<caller> -> <into>_<callee>", the calling module's call attributes, then ";".
std::string EdgeLine(const ModuleRecord& from, std::string_view caller, const ModuleRecord& into,
                     std::string_view callee);
/// The edge line of call `index` of `calls`, whose modules are the table's records.
std::string EdgeLineOf(const ModuleTable& table, const ModuleCalls& calls, size_t index);
/// The edge lines of the table's calls, in their order.
StringList EdgeLines(const ModuleTable& table);

/// Lets go of what the inter-module call scan found (each record's defined and linked functions)
/// once the module graph is written: the module model holds what the other outputs read, and on
/// a large tree these are tens of MB.
void ReleaseModuleFindings(ModuleTable& table);

/// Appends one line to the table's module log (nothing happens without a log path).
void AppendModuleLog(ScanContext& context, const ModuleTable& table, std::string_view line);

/// The DOT name of a function's node: the module name, "_" and the function name, quoted when
/// Graphviz could not read it as a plain ID. Node lines and edge lines both use it.
std::string ModuleNodeId(std::string_view moduleName, std::string_view functionName);

}  // namespace quillmap
