#include "modgraph/module_table.h"

#include "dot/dot_text.h"
#include "config/source_lists.h"
#include "files/paths.h"

namespace quillmap {

namespace {

constexpr const char* kModulesSection = "modules";
constexpr const char* kLogKey = "log";
constexpr const char* kDotKey = "dot";
constexpr const char* kReadingCfgFrom = "reading CFG from: ";

std::string GraphCfgKey(int n) { return "graph_cfg" + std::to_string(n); }
std::string ModuleKey(int i) { return "mod_" + std::to_string(i); }
std::string ClusterKey(int i, int n) { return ModuleKey(i) + "_dot_clu_" + std::to_string(n); }
std::string NodeKey(int i) { return ModuleKey(i) + "_dot_node"; }
std::string CallKey(int i) { return ModuleKey(i) + "_dot_call"; }

// A graph attribute as it is stored: a blank, the value and the ";" that ends a DOT statement.
// A value that already ends in ";" keeps its own; a second one would be a syntax error.
std::string GraphAttributeLine(const std::string& value) {
  std::string line = " " + value;
  if (line.back() != ';') line += ';';
  return line;
}

// Reads the lookups of one configuration's section "modules".
class ModulesSection {
 public:
  ModulesSection(ScanContext& context, const std::string& cfgPath)
      : context_(context), cfgPath_(cfgPath), cfgDir_(DirectoryOf(cfgPath)) {}

  std::string Value(const std::string& key) {
    return ReadProfileString(context_.profile(), cfgPath_, kModulesSection, key);
  }
  std::string Path(const std::string& key) { return ResolvePath(Value(key), cfgDir_); }
  StringList Files(int module) {
    return context_.Reported(
        context_.sourceLists().Module(context_.profile(), cfgPath_, cfgDir_, module));
  }

 private:
  ScanContext& context_;
  const std::string& cfgPath_;
  const std::string cfgDir_;
};

// Fills record `i` from the section. Returns false when the record ends the module list (no
// name or no file 0); the record then stays invalid.
bool ReadModuleRecord(ModulesSection& section, int i, ModuleRecord& record) {
  record.moduleName = section.Value(ModuleKey(i));
  if (record.moduleName.empty()) return false;
  for (int n = 0;; ++n) {
    std::string attribute = section.Value(ClusterKey(i, n));
    if (attribute.empty()) break;
    record.clusterAttributes.push_back(std::move(attribute));
  }
  record.nodeAttributes = section.Value(NodeKey(i));
  record.callAttributes = section.Value(CallKey(i));
  record.files = section.Files(i);
  if (record.files.empty()) return false;
  record.valid = 1;
  return true;
}

}  // namespace

int ReadModuleConfig(ScanContext& context, ModuleTable& table, const std::string& cfgPath) {
  ModulesSection section(context, cfgPath);
  table.moduleLogPath = section.Path(kLogKey);
  table.moduleDotPath = section.Path(kDotKey);
  table.graphAttributeLines.clear();
  for (int n = 0;; ++n) {
    const std::string value = section.Value(GraphCfgKey(n));
    if (value.empty()) break;
    table.graphAttributeLines.push_back(GraphAttributeLine(value));
  }
  table.edgeLines.clear();
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
    reading = ReadModuleRecord(section, i, record);
    if (reading) ++table.moduleCount;
  }
  return table.moduleCount;
}

StringList ModuleSourcePaths(SourceListCache& lists, ProfileReader& profile,
                             const std::string& cfgPath, const std::string& cfgDir) {
  const auto value = [&](const std::string& key) {
    return ReadProfileString(profile, cfgPath, kModulesSection, key);
  };
  StringList sources;
  // The modules that ReadModuleConfig reads: none without a module graph file, and none after
  // the first module without a name or without file 0.
  if (ResolvePath(value(kDotKey), cfgDir).empty()) return sources;
  for (int i = 0; i < kMaxModules; ++i) {
    if (value(ModuleKey(i)).empty()) break;
    const StringList& files = lists.Module(profile, cfgPath, cfgDir, i).paths;
    if (files.empty()) break;
    sources.insert(sources.end(), files.begin(), files.end());
  }
  return sources;
}

void AppendModuleLog(ScanContext& context, const ModuleTable& table, std::string_view line) {
  context.writer().WriteLine(table.moduleLogPath, line, false);
}

std::string ModuleNodeId(std::string_view moduleName, std::string_view functionName) {
  std::string name(moduleName);
  name += '_';
  name += functionName;
  return DotId(name);
}

}  // namespace quillmap
