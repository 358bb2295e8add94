/// The call rules of one scan run: read from the section "rules", checked over the finished
/// call graph model, reported in the activity log and compared with the baseline that the
/// module rules share.
#pragma once

#include <string>
#include <vector>

#include "context/scan_context.h"
#include "reach/call_reach.h"
#include "rules/call_rules.h"
#include "rules/module_rules.h"

namespace quillmap {

class CallRuleCheck {
 public:
  /// `baselineOutput` (from -write-baseline, may be empty): the file that receives the run's
  /// violations, the module rules' ones included; no violation then counts as new.
  CallRuleCheck(std::string cfgPath, std::string baselineOutput);

  /// Whether "rules" holds a call rule (then the module rules leave the baseline to this check).
  static bool Configured(const CallRuleSettings& settings);

  /// Reads the rules, checks them over `graph` and reports; `moduleViolations` are written
  /// with this check's into the baseline output. Errors of the rules are errors of the run.
  void Check(ScanContext& context, const CallReachGraph& graph,
             const std::vector<RuleViolation>& moduleViolations, const std::string& moduleBaseline);

  bool newViolations() const { return newViolations_; }
  const std::vector<CallRuleViolation>& violations() const { return violations_; }
  const CallRules& rules() const { return rules_; }
  const StringList& errors() const { return errors_; }
  /// The violations that the baseline does not list, by index into violations().
  const std::vector<size_t>& fresh() const { return fresh_; }

 private:
  std::string cfgPath_;
  std::string baselineOutput_;
  CallRules rules_;
  std::vector<CallRuleViolation> violations_;
  std::vector<size_t> fresh_;
  StringList errors_;
  bool newViolations_ = false;
};

/// The call rule settings as the lookup of the section "rules" that ReadCallRules takes.
RuleKeyLookup CallRuleKeys(const CallRuleSettings& settings);

}  // namespace quillmap
