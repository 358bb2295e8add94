#include "rules/call_rule_check.h"

#include <algorithm>

#include "files/paths.h"
#include "rules/rule_baseline.h"

namespace quillmap {

namespace {
constexpr const char* kBaselineError = "error in baseline: ";
constexpr const char* kStaleEntry = "baseline entry no longer violated: ";
constexpr const char* kBaselineWritten = "baseline written: ";
constexpr const char* kCallRulesChecked = "call rules checked: ";
constexpr const char* kWitnessIndent = "  ";

std::string Summary(size_t violations, size_t fresh, bool withBaseline) {
  std::string text = kCallRulesChecked + std::to_string(violations) + " violations (" +
                     std::to_string(fresh) + " new";
  if (withBaseline) text += ", " + std::to_string(violations - fresh) + " in the baseline";
  return text + ")";
}
}  // namespace

RuleKeyLookup CallRuleKeys(const CallRuleSettings& settings) {
  return [&settings](const std::string& key) -> std::string {
    if (key == kEntryKey) return settings.entry;
    if (key == kBaselineKey) return settings.baseline;
    return NumberedValue(settings.forbidReach, kForbidReachPrefix, key);
  };
}

CallRuleCheck::CallRuleCheck(std::string cfgPath, std::string baselineOutput)
    : cfgPath_(std::move(cfgPath)), baselineOutput_(std::move(baselineOutput)) {}

bool CallRuleCheck::Configured(const CallRuleSettings& settings) {
  return !settings.forbidReach.empty();
}

void CallRuleCheck::Check(ScanContext& context, const CallReachGraph& graph,
                          const std::vector<RuleViolation>& moduleViolations,
                          const std::string& moduleBaseline) {
  const std::string cfgDir = DirectoryOf(cfgPath_);
  CallRuleReading reading =
      ReadCallRules(CallRuleKeys(context.settings().callRules), cfgDir, moduleBaseline);
  rules_ = std::move(reading.rules);
  errors_ = reading.errors;
  for (const std::string& error : errors_) context.LogError(error);
  if (!errors_.empty()) {
    context.NoteError();
    return;
  }
  if (!rules_.configured()) return;
  CallRuleCheckResult result = CheckCallRules(rules_, graph, cfgDir);
  for (const std::string& note : result.notes) context.Log(note);
  violations_ = std::move(result.violations);
  const auto report = [&](const CallRuleViolation& violation) {
    context.Log(violation.line);
    for (const int32_t edge : violation.chain) {
      context.Log(kWitnessIndent + WitnessStep(graph, edge, cfgDir));
    }
  };

  if (!baselineOutput_.empty()) {
    std::vector<RuleViolation> all = moduleViolations;
    for (const CallRuleViolation& violation : violations_) {
      report(violation);
      all.push_back({violation.line,
                     {},
                     violation.rule < rules_.forbidReach.size()
                         ? rules_.forbidReach[violation.rule].key
                         : ""});
    }
    if (context.writer().ClaimFile(baselineOutput_) && WriteBaseline(baselineOutput_, all)) {
      context.Log(kBaselineWritten + baselineOutput_);
    } else {
      errors_.push_back(ErrorWritingText(baselineOutput_));
      context.LogError(errors_.back());
    }
    context.Log(Summary(violations_.size(), 0, true));
    return;
  }

  StringList entries;
  const bool withBaseline = !rules_.baselinePath.empty();
  if (withBaseline) {
    std::string error;
    if (!ReadBaseline(rules_.baselinePath, entries, error)) {
      errors_.push_back(kBaselineError + error);
      context.LogError(errors_.back());
      entries.clear();
    }
  }
  // The module rules' entries are theirs to match.
  std::erase_if(entries, [](const std::string& entry) { return !IsCallRuleEntry(entry); });
  std::vector<RuleViolation> lines;
  for (const CallRuleViolation& violation : violations_) lines.push_back({violation.line, {}, {}});
  const BaselineComparison comparison = CompareWithBaseline(lines, entries);
  fresh_ = comparison.fresh;
  for (const size_t fresh : fresh_) report(violations_[fresh]);
  for (const std::string& stale : comparison.stale) context.Log(kStaleEntry + stale);
  context.Log(Summary(violations_.size(), fresh_.size(), withBaseline));
  newViolations_ = !fresh_.empty();
}

}  // namespace quillmap
