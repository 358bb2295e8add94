/// The module rules of one scan run: read once the module table is known, checked after the
/// module scan's second pass, reported in the activity log, compared with the baseline, and the
/// edges that break them handed to the module graph to be drawn as violations.
#pragma once

#include <string>
#include <vector>

#include "modgraph/module_table.h"
#include "rules/module_rules.h"
#include "context/scan_context.h"

namespace quillmap {

/// The module rule settings as the lookup of the section "modules" that ReadModuleRules takes.
ModuleKeyLookup ModuleRuleKeys(const ModuleRuleSettings& settings);

class ModuleRuleCheck {
 public:
  /// `baselineOutput` (from -write-baseline, may be empty): the file that receives the run's
  /// violations; the configured baseline is then not read, and no violation counts as new.
  ModuleRuleCheck(std::string cfgPath, std::string baselineOutput);

  /// Reads the rules for the table's modules, checks the table's calls and reports. Returns one
  /// flag per edge line of the table: true for the edges that break a rule. Without rule keys it
  /// reports nothing and flags nothing. Rule errors are errors of the run, and leave the calls
  /// unchecked.
  std::vector<bool> Check(ScanContext& context, const ModuleTable& table);

  /// Call rules are checked after this check: their entries of the baseline are left to them,
  /// and the baseline output is written by them, with this check's violations.
  void SetCallRulesFollow() { callRulesFollow_ = true; }

  /// A violation was found that the baseline does not list.
  bool newViolations() const { return newViolations_; }
  /// The violations of the last check, in report order.
  const std::vector<RuleViolation>& violations() const { return violations_; }
  /// The violations that the baseline does not list, by index into violations().
  const std::vector<size_t>& fresh() const { return fresh_; }
  /// The rule and baseline error entries of the last check.
  const StringList& errors() const { return errors_; }

 private:
  std::string cfgPath_;
  std::string baselineOutput_;
  std::vector<RuleViolation> violations_;
  std::vector<size_t> fresh_;
  StringList errors_;
  bool newViolations_ = false;
  bool callRulesFollow_ = false;
};

}  // namespace quillmap
