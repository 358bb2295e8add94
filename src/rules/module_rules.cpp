#include "rules/module_rules.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "files/paths.h"
#include "rules/module_cycles.h"

namespace quillmap {

namespace {

constexpr const char* kErrorIn = "error in ";
constexpr const char* kUnknownModule = "unknown module ";
constexpr const char* kMalformedRule = "malformed rule (write A -> B or A !-> B): ";
constexpr const char* kSelfRule =
    "a rule from a module to itself never applies (calls within a module are not checked): ";
constexpr const char* kNotAllowOrDeny = "neither allow nor deny: ";
constexpr const char* kEmptyLayer = "an empty layer in: ";
constexpr const char* kTwoLayers = "a module in two layers: ";
constexpr const char* kNeverApplies = " never applies: ";
constexpr const char* kDecidesFirst = " decides first";
constexpr const char* kLayersSuffix = " (layers)";
constexpr const char* kDefaultDenySuffix = " (default=deny)";
constexpr const char* kCyclesDenied = "cycles=deny: ";
constexpr const char* kCycleArrow = " -> ";
constexpr const char* kCalls = " calls ";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string ErrorIn(const std::string& key, const std::string& what) {
  return kErrorIn + key + ": " + what;
}
std::string RuleKey(int n) { return kRuleKeyPrefix + std::to_string(n); }

// "allow" or "deny" (a missing value is the given default); false for anything else.
bool ReadVerdict(const ModuleKeyLookup& value, const char* key, bool& deny, StringList& errors) {
  const std::string text = Trim(value(key));
  if (text.empty() || text == kAllow) return true;
  if (text == kDeny) {
    deny = true;
    return true;
  }
  errors.push_back(ErrorIn(key, kNotAllowOrDeny + Quoted(text)));
  return false;
}

// "A -> B" or "A !-> B" with module names or "*"; false when it has neither arrow or an empty
// side.
bool ParseRule(const std::string& text, ModuleRule& rule) {
  size_t arrow = text.find(kForbiddenArrow);
  size_t length = std::char_traits<char>::length(kForbiddenArrow);
  rule.allows = arrow == std::string::npos;
  if (rule.allows) {
    arrow = text.find(kAllowedArrow);
    length = std::char_traits<char>::length(kAllowedArrow);
  }
  if (arrow == std::string::npos) return false;
  rule.from = Trim(std::string_view(text).substr(0, arrow));
  rule.to = Trim(std::string_view(text).substr(arrow + length));
  return !rule.from.empty() && !rule.to.empty();
}

bool Covers(const std::string& general, const std::string& special) {
  return general == kAnyModule || general == special;
}

}  // namespace

std::string DisplayPath(const std::string& file, const std::string& cfgDir) {
  if (!cfgDir.empty() && file.size() > cfgDir.size() &&
      file.compare(0, cfgDir.size(), cfgDir) == 0) {
    return file.substr(cfgDir.size());
  }
  return file;
}

std::string ModuleRule::Text() const {
  return from + " " + (allows ? kAllowedArrow : kForbiddenArrow) + " " + to;
}

bool ModuleRule::Matches(const std::string& caller, const std::string& callee) const {
  return Covers(from, caller) && Covers(to, callee);
}

RuleReading ReadModuleRules(const ModuleKeyLookup& value, const StringList& moduleNames,
                            const std::string& cfgDir) {
  RuleReading reading;
  ModuleRules& rules = reading.rules;
  StringList& errors = reading.errors;
  const std::unordered_set<std::string> known(moduleNames.begin(), moduleNames.end());
  const auto checkModule = [&](const std::string& key, const std::string& name) {
    if (name == kAnyModule || known.count(name) != 0) return true;
    errors.push_back(ErrorIn(key, kUnknownModule + Quoted(name)));
    return false;
  };

  for (int n = 0;; ++n) {
    const std::string key = RuleKey(n);
    const std::string text = value(key);
    if (text.empty()) break;
    rules.configured = true;
    ModuleRule rule;
    rule.key = key;
    if (!ParseRule(text, rule)) {
      errors.push_back(ErrorIn(key, kMalformedRule + Quoted(text)));
      continue;
    }
    const bool fromKnown = checkModule(key, rule.from);
    if (!checkModule(key, rule.to) || !fromKnown) continue;
    if (rule.from == rule.to && rule.from != kAnyModule) {
      errors.push_back(ErrorIn(key, kSelfRule + rule.Text()));
      continue;
    }
    // A rule that an earlier one covers whole can never decide a call.
    for (const ModuleRule& earlier : rules.rules) {
      if (Covers(earlier.from, rule.from) && Covers(earlier.to, rule.to)) {
        reading.notes.push_back(key + " (" + rule.Text() + ")" + kNeverApplies + earlier.key +
                                " (" + earlier.Text() + ")" + kDecidesFirst);
        break;
      }
    }
    rules.rules.push_back(std::move(rule));
  }

  const std::string layers = value(kLayersKey);
  if (!layers.empty()) {
    rules.configured = true;
    int layer = 0;
    size_t start = 0;
    while (start <= layers.size()) {
      size_t end = layers.find(kLayerSeparator, start);
      if (end == std::string::npos) end = layers.size();
      const std::string group = Trim(std::string_view(layers).substr(start, end - start));
      if (group.empty()) {
        errors.push_back(ErrorIn(kLayersKey, kEmptyLayer + Quoted(layers)));
      }
      size_t moduleStart = 0;
      while (!group.empty() && moduleStart <= group.size()) {
        size_t moduleEnd = group.find(kLayerModuleSeparator, moduleStart);
        if (moduleEnd == std::string::npos) moduleEnd = group.size();
        const std::string name =
            Trim(std::string_view(group).substr(moduleStart, moduleEnd - moduleStart));
        if (name.empty()) {
          errors.push_back(ErrorIn(kLayersKey, kEmptyLayer + Quoted(layers)));
        } else if (name == kAnyModule) {
          errors.push_back(ErrorIn(kLayersKey, kUnknownModule + Quoted(name)));
        } else if (checkModule(kLayersKey, name) &&
                   !rules.layerOf.try_emplace(name, layer).second) {
          errors.push_back(ErrorIn(kLayersKey, kTwoLayers + Quoted(name)));
        }
        moduleStart = moduleEnd + 1;
      }
      ++layer;
      start = end + 1;
    }
  }

  for (const char* key : {kDefaultKey, kCyclesKey}) {
    if (!value(key).empty()) rules.configured = true;
  }
  ReadVerdict(value, kDefaultKey, rules.denyByDefault, errors);
  ReadVerdict(value, kCyclesKey, rules.denyCycles, errors);

  const std::string baseline = value(kBaselineKey);
  if (!baseline.empty()) {
    rules.configured = true;
    rules.baselinePath = ResolvePath(baseline, cfgDir);
  }
  return reading;
}

std::vector<RuleViolation> CheckModuleRules(const ModuleRules& rules, const StringList& moduleNames,
                                            const ModuleCalls& calls,
                                            const std::string& cfgDir) {
  std::vector<RuleViolation> violations;
  for (size_t i = 0; i < calls.size(); ++i) {
    const ModuleCallRecord& call = calls[i];
    const std::string& from = moduleNames[static_cast<size_t>(call.fromModule)];
    const std::string& to = moduleNames[static_cast<size_t>(call.toModule)];
    std::string broken;  // the rule text, when the call breaks one
    std::string decidedBy;
    const ModuleRule* decided = nullptr;
    for (const ModuleRule& rule : rules.rules) {
      if (rule.Matches(from, to)) {
        decided = &rule;
        break;
      }
    }
    if (decided != nullptr) {
      if (!decided->allows) {
        broken = decided->Text();
        decidedBy = decided->key;
      }
    } else {
      const auto fromLayer = rules.layerOf.find(from);
      const auto toLayer = rules.layerOf.find(to);
      if (fromLayer != rules.layerOf.end() && toLayer != rules.layerOf.end()) {
        if (toLayer->second < fromLayer->second) {
          broken = from + " " + kForbiddenArrow + " " + to + kLayersSuffix;
          decidedBy = kLayersKey;
        }
      } else if (rules.denyByDefault) {
        broken = from + " " + kForbiddenArrow + " " + to + kDefaultDenySuffix;
        decidedBy = kDefaultKey;
      }
    }
    if (broken.empty()) continue;
    violations.push_back({kRuleViolated + broken + ": " + std::string(calls.CallerOf(call)) + " (" +
                              DisplayPath(std::string(calls.FileOf(call)), cfgDir) + ":" +
                              std::to_string(call.line) + ")" + kCalls +
                              std::string(calls.CalleeOf(call)),
                          {static_cast<int32_t>(i)},
                          decidedBy});
  }

  if (rules.denyCycles) {
    // Module pairs as indexes of an n x n table (n is at most kMaxModules): no map nodes per
    // call, which matters when every module calls every other one.
    const size_t n = moduleNames.size();
    const auto pairOf = [&](const ModuleCallRecord& call) {
      return static_cast<size_t>(call.fromModule) * n + static_cast<size_t>(call.toModule);
    };
    // The search numbers the modules in the byte order of their names: the cycle chosen, where
    // it starts (the smallest name) and the order of the cycles are then the same whatever the
    // order of the mod_N keys, so that a baseline's entries keep matching.
    std::vector<int32_t> byName(n);
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(), [&](int32_t a, int32_t b) {
      return moduleNames[static_cast<size_t>(a)] < moduleNames[static_cast<size_t>(b)];
    });
    std::vector<int32_t> rankOf(n);
    for (size_t rank = 0; rank < n; ++rank) {
      rankOf[static_cast<size_t>(byName[rank])] = static_cast<int32_t>(rank);
    }
    ModuleAdjacency adjacency(n);
    std::vector<char> linked(n * n, 0);
    for (const ModuleCallRecord& call : calls) {
      if (linked[pairOf(call)]++ == 0) {
        adjacency[static_cast<size_t>(rankOf[static_cast<size_t>(call.fromModule)])].push_back(
            rankOf[static_cast<size_t>(call.toModule)]);
      }
    }
    std::vector<std::vector<int32_t>> cycles = ShortestCyclePerComponent(adjacency);
    for (std::vector<int32_t>& cycle : cycles) {
      for (int32_t& module : cycle) module = byName[static_cast<size_t>(module)];
    }
    std::vector<int32_t> cycleOfPair(n * n, -1);  // each module lies on one cycle at most
    const size_t first = violations.size();
    for (size_t c = 0; c < cycles.size(); ++c) {
      const std::vector<int32_t>& cycle = cycles[c];
      RuleViolation violation;
      violation.rule = kCyclesKey;
      violation.line = std::string(kRuleViolated) + kCyclesDenied;
      for (size_t step = 0; step < cycle.size(); ++step) {
        const int32_t next = cycle[(step + 1) % cycle.size()];
        violation.line += moduleNames[static_cast<size_t>(cycle[step])] + kCycleArrow;
        cycleOfPair[static_cast<size_t>(cycle[step]) * n + static_cast<size_t>(next)] =
            static_cast<int32_t>(c);
      }
      violation.line += moduleNames[static_cast<size_t>(cycle.front())];
      violations.push_back(std::move(violation));
    }
    for (size_t i = 0; i < calls.size(); ++i) {
      const int32_t c = cycleOfPair[pairOf(calls[i])];
      if (c >= 0)
        violations[first + static_cast<size_t>(c)].calls.push_back(static_cast<int32_t>(i));
    }
  }
  return violations;
}

}  // namespace quillmap
