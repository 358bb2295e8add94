/// The architecture rules of the section "modules": which module may call which (numbered
/// rules, layers and a default), whether cycles between modules are allowed, and the baseline
/// of known violations; read from the configuration and checked against the calls between
/// modules that the module scan found.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/config_keys.h"
#include "model/graph_model.h"
#include "text/text_utils.h"

namespace quillmap {

// The words of the module rules (their keys are in config_keys.h).
inline constexpr const char* kAllow = "allow";
inline constexpr const char* kDeny = "deny";
inline constexpr const char* kAllowedArrow = "->";
inline constexpr const char* kForbiddenArrow = "!->";
inline constexpr const char* kAnyModule = "*";
/// Between the layers of "layers", top first; and between the modules of one layer.
inline constexpr char kLayerSeparator = ',';
inline constexpr char kLayerModuleSeparator = '|';

/// The start of every report line (and of every baseline entry).
inline constexpr const char* kRuleViolated = "rule violated: ";

/// "A -> B" or "A !-> B": the first rule that matches a call decides it.
struct ModuleRule {
  std::string key;   // "rule_3", for messages
  std::string from;  // a module name or kAnyModule
  std::string to;
  bool allows = true;
  /// The rule as the report shows it: "drivers !-> app".
  std::string Text() const;
  bool Matches(const std::string& caller, const std::string& callee) const;
};

struct ModuleRules {
  std::vector<ModuleRule> rules;
  bool denyByDefault = false;
  std::unordered_map<std::string, int> layerOf;  // module name -> layer, 0 the top
  bool denyCycles = false;
  std::string baselinePath;  // resolved; empty without a baseline
  /// Some rule key is set: the run then checks the calls and may fail on them.
  bool configured = false;
};

/// A value of the section "modules" by key ("" when missing or empty).
using ModuleKeyLookup = std::function<std::string(const std::string& key)>;

struct RuleReading {
  ModuleRules rules;
  StringList errors;  // each names the key and what is wrong with it; the rules are then unusable
  StringList notes;   // rules that never apply
};

/// Reads the rule keys for the modules named `moduleNames`; `cfgDir` resolves the baseline path.
RuleReading ReadModuleRules(const ModuleKeyLookup& value, const StringList& moduleNames,
                            const std::string& cfgDir);

struct RuleViolation {
  std::string line;            // the report line, beginning with kRuleViolated
  std::vector<int32_t> calls;  // the calls (indexes into the checked list) that break the rule
  /// What decided it: the rule's key ("rule_3"), kLayersKey, kDefaultKey or kCyclesKey.
  std::string rule;
};

/// A file as reports show it: relative to `cfgDir` when it lies inside it.
std::string DisplayPath(const std::string& file, const std::string& cfgDir);

/// The violations among `calls` (module indexes into `moduleNames`): one per call that the
/// first matching rule, the layers or the default forbids, in the order of the calls; then, with
/// cycles denied, one per strongly connected group of modules, naming its shortest cycle. File
/// paths inside `cfgDir` are shown relative to it, so that a baseline does not depend on where
/// the project is checked out.
std::vector<RuleViolation> CheckModuleRules(const ModuleRules& rules, const StringList& moduleNames,
                                            const ModuleCalls& calls,
                                            const std::string& cfgDir);

}  // namespace quillmap
