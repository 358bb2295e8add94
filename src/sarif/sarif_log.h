/// The findings of a run (module rule violations, module cycles, call rule violations) as a
/// SARIF 2.1.0 log for code scanning in CI, and as GitHub Actions annotations.
#pragma once

#include <string>
#include <vector>

#include "model/graph_model.h"
#include "reach/call_reach.h"
#include "rules/call_rules.h"
#include "rules/module_rules.h"

namespace quillmap {

/// What a run found against its rules, with where each finding stands.
struct RunFindings {
  const ModuleCalls* moduleCalls = nullptr;     // what module violations' calls index
  std::vector<RuleViolation> moduleViolations;  // in report order
  std::vector<char> moduleFresh;                // by module violation: not in the baseline
  const CallReachGraph* graph = nullptr;        // what call rule chains' edges index
  std::vector<CallRuleViolation> callViolations;
  std::vector<char> callFresh;             // by call rule violation
  std::vector<ForbidReachRule> callRules;  // what CallRuleViolation::rule indexes
  std::string cfgDir;                      // files inside it are written relative to it
  bool empty() const { return moduleViolations.empty() && callViolations.empty(); }
};

/// One finding where it stands: a stable rule id, the report line and the call it points at.
struct FindingSite {
  std::string ruleId;
  std::string text;
  std::string file;  // as found (full path), empty when the finding has no call
  int32_t line = 0;
  bool fresh = true;
};
std::vector<FindingSite> FindingSites(const RunFindings& findings);

/// The SARIF log of `findings` as text. `partialFingerprints` hash what a baseline entry is
/// matched by, so that they do not change when unrelated lines move.
std::string SarifLogText(const RunFindings& findings, const std::string& toolVersion);

/// Writes the SARIF log to `path` (replacing the file whole). False when it cannot be written.
bool WriteSarifLog(const std::string& path, const RunFindings& findings,
                   const std::string& toolVersion);

/// "::error file=F,line=L::TEXT" for every finding that the baseline does not list, with the
/// file relative to `baseDir` when inside it (a GitHub workflow runs in the checkout).
std::vector<std::string> GithubAnnotations(const RunFindings& findings, const std::string& baseDir);

}  // namespace quillmap
