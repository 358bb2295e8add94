#include "config/scan_settings.h"

#include <cstdlib>

#include "config/config_keys.h"
#include "config/source_lists.h"

namespace quillmap {

namespace {
constexpr const char* kFilesSection = "files";
constexpr const char* kScanSection = "scan";
constexpr const char* kCallsSection = "calls";
constexpr const char* kRejectSection = "reject";
constexpr const char* kDotSection = "dot";
constexpr const char* kModulesSection = "modules";

constexpr const char* kFileKeyPrefix = "file";
constexpr const char* kDotKey = "dot";
constexpr const char* kCsvKey = "csv";
constexpr const char* kJsonKey = "json";
constexpr const char* kSarifKey = "sarif";
constexpr const char* kSyntaxKey = "syntax";
constexpr const char* kResolveKey = "resolve";
constexpr const char* kResolveOn = "yes";
constexpr const char* kResolveOff = "no";
constexpr const char* kDefineKeyPrefix = "define";
constexpr const char* kNameMacroKeyPrefix = "name_macro";
constexpr const char* kGraphCfgKeyPrefix = "graph_cfg";
constexpr const char* kNodeCfgKeyPrefix = "node_cfg";
constexpr const char* kCallCfgKeyPrefix = "call_cfg";
constexpr const char* kPointerCfgKey = "pointer_cfg";
constexpr const char* kMacroCfgKey = "macro_cfg";
constexpr const char* kMaxTargetsKey = "max_targets";
constexpr const char* kLogKey = "log";
// The queries the module graph takes (the command line's are the call graph's).
constexpr const char* kModuleQueryKeys[] = {kFocusOption, kDirectionOption, kDepthOption};

// The lookups of one configuration.
class SettingsReader {
 public:
  SettingsReader(ProfileReader& reader, const std::string& cfgPath)
      : reader_(reader), cfgPath_(cfgPath) {}

  std::string Value(const char* section, const std::string& key) {
    return ReadProfileString(reader_, cfgPath_, section, key);
  }
  // The numbered values `prefix`0, `prefix`1, ... up to the first missing or empty one, at most
  // `limit`.
  StringList Values(const char* section, const std::string& prefix, int limit = -1) {
    StringList values;
    for (int n = 0; n != limit; ++n) {
      std::string value = Value(section, prefix + std::to_string(n));
      if (value.empty()) break;
      values.push_back(std::move(value));
    }
    return values;
  }
  StringList List(const char* section) {
    StringList list;
    ReadList(reader_, cfgPath_, section, list);
    return list;
  }
  QueryTexts Queries(const char* section, const auto& keys) {
    QueryTexts texts;
    for (const char* key : keys) texts[key] = Value(section, key);
    return texts;
  }
  RenderTexts Render(const char* section) {
    return {Value(section, kRenderKey), Value(section, kRenderSecondsKey)};
  }

 private:
  ProfileReader& reader_;
  const std::string& cfgPath_;
};

ScanModeSettings ReadScanMode(SettingsReader& read) {
  ScanModeSettings mode;
  const std::string syntax = read.Value(kScanSection, kSyntaxKey);
  const std::string resolve = read.Value(kScanSection, kResolveKey);
  if (!ParseSourceSyntax(syntax, mode.syntax)) {
    mode.syntax = SourceSyntax::kLines;
    mode.problem = kUnknownSyntax + syntax;
  } else if (!resolve.empty() && resolve != kResolveOn && resolve != kResolveOff) {
    mode.problem = kUnknownResolve + resolve;
  }
  mode.resolve = mode.problem.empty() && resolve == kResolveOn && mode.syntax == SourceSyntax::kC;
  mode.defines = read.Values(kScanSection, kDefineKeyPrefix);
  mode.nameMacros = read.Values(kScanSection, kNameMacroKeyPrefix);
  return mode;
}

CallGraphDotSettings ReadDot(SettingsReader& read, const StringList& calls) {
  CallGraphDotSettings dot;
  dot.graphAttributes = read.Values(kDotSection, kGraphCfgKeyPrefix);
  for (const std::string& filter : calls) {
    const std::string nodeSuffix = GetField(filter, 1);
    dot.nodeStyles.push_back(nodeSuffix.empty()
                                 ? std::string()
                                 : read.Value(kDotSection, kNodeCfgKeyPrefix + nodeSuffix));
    dot.callStyles.push_back(read.Value(kDotSection, kCallCfgKeyPrefix + GetField(filter, 2)));
  }
  const std::string pointerStyle = read.Value(kDotSection, kPointerCfgKey);
  if (!pointerStyle.empty()) dot.pointerStyle = pointerStyle;
  const std::string macroStyle = read.Value(kDotSection, kMacroCfgKey);
  if (!macroStyle.empty()) dot.macroStyle = macroStyle;
  const std::string maxTargets = read.Value(kDotSection, kMaxTargetsKey);
  if (!maxTargets.empty()) dot.maxTargets = std::atoi(maxTargets.c_str());
  dot.queries = read.Queries(kDotSection, kQueryOptions);
  dot.render = read.Render(kDotSection);
  return dot;
}

ModuleGraphSettings ReadModules(SettingsReader& read) {
  ModuleGraphSettings modules;
  modules.log = read.Value(kModulesSection, kLogKey);
  modules.dot = read.Value(kModulesSection, kDotKey);
  modules.graphAttributes = read.Values(kModulesSection, kGraphCfgKeyPrefix);
  for (int i = 0; i < kMaxModules; ++i) {
    const std::string key = "mod_" + std::to_string(i);
    ModuleSettings module;
    module.name = read.Value(kModulesSection, key);
    if (module.name.empty()) break;
    module.clusterAttributes = read.Values(kModulesSection, key + "_dot_clu_");
    module.nodeAttributes = read.Value(kModulesSection, key + "_dot_node");
    module.callAttributes = read.Value(kModulesSection, key + "_dot_call");
    module.files = read.Values(kModulesSection, key + "_file_");
    modules.modules.push_back(std::move(module));
  }
  modules.queries = read.Queries(kModulesSection, kModuleQueryKeys);
  ModuleRuleSettings& rules = modules.rules;
  rules.rules = read.Values(kModulesSection, kRuleKeyPrefix);
  rules.layers = read.Value(kModulesSection, kLayersKey);
  rules.defaultVerdict = read.Value(kModulesSection, kDefaultKey);
  rules.cycles = read.Value(kModulesSection, kCyclesKey);
  rules.baseline = read.Value(kModulesSection, kBaselineKey);
  modules.render = read.Render(kModulesSection);
  return modules;
}
}  // namespace

std::string NumberedValue(const StringList& values, std::string_view prefix, std::string_view key) {
  if (!key.starts_with(prefix)) return {};
  const std::string_view number = key.substr(prefix.size());
  for (size_t n = 0; n < values.size(); ++n) {
    if (number == std::to_string(n)) return values[n];
  }
  return {};
}

ScanSettings ReadScanSettings(ProfileReader& reader, const std::string& cfgPath) {
  const ProfileReaderHold hold(reader);
  SettingsReader read(reader, cfgPath);
  ScanSettings settings;
  settings.cfgPath = cfgPath;
  settings.sources = {
      read.Values(kFilesSection, kFileKeyPrefix), read.Values(kFilesSection, kExcludeKeyPrefix),
      read.Values(kFilesSection, kHeaderKeyPrefix), read.Value(kFilesSection, kCompileCommandsKey)};
  settings.outputs = {read.Value(kFilesSection, kDotKey), read.Value(kFilesSection, kCsvKey),
                      read.Value(kFilesSection, kJsonKey), read.Value(kFilesSection, kSarifKey)};
  settings.scan = ReadScanMode(read);
  settings.filters.calls = read.List(kCallsSection);
  settings.filters.reject = read.List(kRejectSection);
  settings.dot = ReadDot(read, settings.filters.calls);
  settings.modules = ReadModules(read);
  settings.callRules = {read.Values(kRulesSection, kForbidReachPrefix, kMaxCallRules),
                        read.Value(kRulesSection, kEntryKey),
                        read.Value(kRulesSection, kBaselineKey)};
  return settings;
}

}  // namespace quillmap
