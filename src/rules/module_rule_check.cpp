#include "rules/module_rule_check.h"

#include "files/paths.h"
#include "rules/rule_baseline.h"

namespace quillmap {

namespace {
constexpr const char* kBaselineError = "error in baseline: ";
constexpr const char* kStaleEntry = "baseline entry no longer violated: ";
constexpr const char* kBaselineWritten = "baseline written: ";
constexpr const char* kRulesChecked = "rules checked: ";

std::string Summary(size_t violations, size_t fresh, bool withBaseline) {
  std::string text =
      kRulesChecked + std::to_string(violations) + " violations (" + std::to_string(fresh) + " new";
  if (withBaseline) text += ", " + std::to_string(violations - fresh) + " in the baseline";
  return text + ")";
}
}  // namespace

ModuleKeyLookup ModuleRuleKeys(const ModuleRuleSettings& settings) {
  return [&settings](const std::string& key) -> std::string {
    if (key == kLayersKey) return settings.layers;
    if (key == kDefaultKey) return settings.defaultVerdict;
    if (key == kCyclesKey) return settings.cycles;
    if (key == kBaselineKey) return settings.baseline;
    return NumberedValue(settings.rules, kRuleKeyPrefix, key);
  };
}

ModuleRuleCheck::ModuleRuleCheck(std::string cfgPath, std::string baselineOutput)
    : cfgPath_(std::move(cfgPath)), baselineOutput_(std::move(baselineOutput)) {}

std::vector<bool> ModuleRuleCheck::Check(ScanContext& context, const ModuleTable& table) {
  std::vector<bool> flags(table.calls.size(), false);
  violations_.clear();
  fresh_.clear();
  errors_.clear();
  newViolations_ = false;
  StringList names;
  for (int k = 0; k < table.moduleCount; ++k) names.push_back(table.modules[k].moduleName);
  const std::string cfgDir = DirectoryOf(cfgPath_);
  const RuleReading reading =
      ReadModuleRules(ModuleRuleKeys(context.settings().modules.rules), names, cfgDir);
  if (!reading.rules.configured) return flags;
  for (const std::string& note : reading.notes) context.Log(note);
  for (const std::string& error : reading.errors) context.LogError(error);
  errors_ = reading.errors;
  if (!reading.errors.empty()) {
    context.NoteError();
    return flags;
  }

  violations_ = CheckModuleRules(reading.rules, names, table.calls, cfgDir);
  for (const RuleViolation& violation : violations_) {
    for (int32_t call : violation.calls) flags[static_cast<size_t>(call)] = true;
  }

  if (!baselineOutput_.empty()) {
    for (const RuleViolation& violation : violations_) context.Log(violation.line);
    if (callRulesFollow_) {
      context.Log(Summary(violations_.size(), 0, true));
      return flags;
    }
    if (context.writer().ClaimFile(baselineOutput_) &&
        WriteBaseline(baselineOutput_, violations_)) {
      context.Log(kBaselineWritten + baselineOutput_);
    } else {
      errors_.push_back(ErrorWritingText(baselineOutput_));
      context.LogError(errors_.back());
    }
    context.Log(Summary(violations_.size(), 0, true));
    return flags;
  }

  // Known violations stand in the baseline; the log shows the new ones.
  StringList entries;
  const bool withBaseline = !reading.rules.baselinePath.empty();
  if (withBaseline) {
    std::string error;
    if (!ReadBaseline(reading.rules.baselinePath, entries, error)) {
      errors_.push_back(kBaselineError + error);
      context.LogError(errors_.back());
      entries.clear();
    }
  }
  if (callRulesFollow_) std::erase_if(entries, IsCallRuleEntry);
  const BaselineComparison comparison = CompareWithBaseline(violations_, entries);
  for (size_t fresh : comparison.fresh) context.Log(violations_[fresh].line);
  for (const std::string& stale : comparison.stale) context.Log(kStaleEntry + stale);
  context.Log(Summary(violations_.size(), comparison.fresh.size(), withBaseline));
  newViolations_ = !comparison.fresh.empty();
  fresh_ = comparison.fresh;
  return flags;
}

}  // namespace quillmap
