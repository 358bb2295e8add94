#include "modgraph/module_table.h"

#include "dot/dot_text.h"
#include "config/source_lists.h"
#include "files/paths.h"

namespace quillmap {

namespace {

constexpr const char* kReadingCfgFrom = "reading CFG from: ";

// A graph attribute as it is stored: a blank, the value and the ";" that ends a DOT statement.
// A value that already ends in ";" keeps its own; a second one would be a syntax error.
std::string GraphAttributeLine(const std::string& value) {
  std::string line = " " + value;
  if (line.back() != ';') line += ';';
  return line;
}

// Fills record `i` from the settings. Returns false when the record ends the module list (no
// name or no file 0); the record then stays invalid.
bool ReadModuleRecord(ScanContext& context, const std::string& cfgDir, int i,
                      ModuleRecord& record) {
  const std::vector<ModuleSettings>& modules = context.settings().modules.modules;
  if (static_cast<size_t>(i) >= modules.size()) return false;
  const ModuleSettings& module = modules[static_cast<size_t>(i)];
  record.moduleName = module.name;
  record.clusterAttributes = module.clusterAttributes;
  record.nodeAttributes = module.nodeAttributes;
  record.callAttributes = module.callAttributes;
  record.files = context.Reported(context.sourceLists().Module(context.settings(), cfgDir, i));
  if (record.files.empty()) return false;
  record.valid = 1;
  return true;
}

}  // namespace

int ReadModuleConfig(ScanContext& context, ModuleTable& table, const std::string& cfgPath) {
  const std::string cfgDir = DirectoryOf(cfgPath);
  const ModuleGraphSettings& settings = context.settings().modules;
  table.moduleLogPath = ResolvePath(settings.log, cfgDir);
  table.moduleDotPath = ResolvePath(settings.dot, cfgDir);
  table.graphAttributeLines.clear();
  for (const std::string& value : settings.graphAttributes) {
    table.graphAttributeLines.push_back(GraphAttributeLine(value));
  }
  table.calls.clear();

  context.writer().WriteLine(table.moduleLogPath, kReadingCfgFrom + cfgPath, true);
  AppendModuleLog(context, table, kModuleLogSeparator);

  // Modules are read in numbering order; the first gap ends the list for the whole run, and
  // without a module graph file there is nothing to read them for.
  table.moduleCount = 0;
  bool reading = !table.moduleDotPath.empty();
  for (int i = 0; i < kMaxModules; ++i) {
    ModuleRecord& record = table.modules[i];
    record.valid = 0;
    record.moduleName.clear();
    record.clusterAttributes.clear();
    record.files.clear();
    if (!reading) continue;
    reading = ReadModuleRecord(context, cfgDir, i, record);
    if (reading) ++table.moduleCount;
  }
  return table.moduleCount;
}

StringList ModuleSourcePaths(SourceListCache& lists, const ScanSettings& settings,
                             const std::string& cfgDir) {
  StringList sources;
  // The modules that ReadModuleConfig reads: none without a module graph file, and none after
  // the first module without a name or without file 0.
  if (ResolvePath(settings.modules.dot, cfgDir).empty()) return sources;
  for (size_t i = 0; i < settings.modules.modules.size(); ++i) {
    const StringList& files = lists.Module(settings, cfgDir, static_cast<int>(i)).paths;
    if (files.empty()) break;
    sources.insert(sources.end(), files.begin(), files.end());
  }
  return sources;
}

void AppendModuleLog(ScanContext& context, const ModuleTable& table, std::string_view line) {
  context.writer().WriteLine(table.moduleLogPath, line, false);
}

std::string EdgeLine(const ModuleRecord& from, std::string_view caller, const ModuleRecord& into,
                     std::string_view callee) {
  std::string line =
      ModuleNodeId(from.moduleName, caller) + " -> " + ModuleNodeId(into.moduleName, callee);
  if (!from.callAttributes.empty()) line += " " + from.callAttributes;
  line += ';';
  return line;
}

std::string EdgeLineOf(const ModuleTable& table, const ModuleCalls& calls, size_t index) {
  const ModuleCallRecord& call = calls[index];
  return EdgeLine(table.modules[static_cast<size_t>(call.fromModule)], calls.CallerOf(call),
                  table.modules[static_cast<size_t>(call.toModule)], calls.CalleeOf(call));
}

StringList EdgeLines(const ModuleTable& table) {
  StringList lines;
  for (size_t i = 0; i < table.calls.size(); ++i)
    lines.push_back(EdgeLineOf(table, table.calls, i));
  return lines;
}

void ReleaseModuleFindings(ModuleTable& table) {
  for (ModuleRecord& record : table.modules) {
    record.definedFunctions = PackedStrings();
    record.linkedFunctions = StringList();
  }
}

std::string ModuleNodeId(std::string_view moduleName, std::string_view functionName) {
  std::string name(moduleName);
  name += '_';
  name += functionName;
  return DotId(name);
}

}  // namespace quillmap
