/// Call rules of the section "rules": `forbid_reach_N = ROOTS -> FORBIDDEN` says that no
/// function matching FORBIDDEN may be reachable along calls from a function matching ROOTS
/// ("*_IRQHandler, isr_* -> malloc, free, *printf*"). Each forbidden function that a root
/// reaches is one violation, with the shortest call chain as its witness.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_keys.h"
#include "reach/call_reach.h"
#include "text/text_utils.h"

namespace quillmap {

/// Between a violation's key and its witness chain; what a baseline entry is matched by ends
/// before it, so that a known violation stays known when another chain becomes the shortest.
inline constexpr const char* kReachableMark = " reachable: ";

struct ForbidReachRule {
  std::string key;  // "forbid_reach_0", for messages
  std::vector<std::string> roots;
  std::vector<std::string> forbidden;
  /// "isr_* -> malloc, free", as the report shows it.
  std::string Text() const;
};

struct CallRules {
  std::vector<ForbidReachRule> forbidReach;
  std::vector<std::string> entries;  // patterns of "entry"
  std::string baselinePath;          // resolved; empty without a baseline
  bool configured() const { return !forbidReach.empty(); }
};

/// A value of the section "rules" by key ("" when missing or empty).
using RuleKeyLookup = std::function<std::string(const std::string& key)>;

struct CallRuleReading {
  CallRules rules;
  StringList errors;  // each names the key and what is wrong with it
};

/// The glob patterns of a comma-separated list, blanks around each trimmed, empty ones left out.
std::vector<std::string> SplitRulePatterns(std::string_view text);

/// Reads the call rules; `moduleBaseline` (resolved) is the baseline used when "rules" names
/// none of its own, so that one file lists the known violations of every rule.
CallRuleReading ReadCallRules(const RuleKeyLookup& value, const std::string& cfgDir,
                              const std::string& moduleBaseline);

struct CallRuleViolation {
  std::string line;            // the report line, beginning with kRuleViolated
  size_t rule = 0;             // index into CallRules::forbidReach
  std::vector<int32_t> chain;  // the witness: edges of the graph, the root's call first
};

struct CallRuleCheckResult {
  std::vector<CallRuleViolation> violations;  // by rule, then by distance from the roots
  StringList notes;  // patterns that match no function: a rule that checks nothing says so
};

/// Checks every rule over `graph`: one breadth-first search per rule. Files in the report lines
/// are shown relative to `cfgDir`.
CallRuleCheckResult CheckCallRules(const CallRules& rules, const CallReachGraph& graph,
                                   const std::string& cfgDir);

/// The text of a node in reports: its name, with "@FILE" where the name is defined more than
/// once (static namesakes); `cfgDir` shortens the file as the module rules do.
std::string NodeText(const CallReachGraph& graph, int32_t node, const std::string& cfgDir);

/// "caller (FILE:LINE) calls callee", with " through ops->open" for a call through a pointer:
/// one step of a witness chain.
std::string WitnessStep(const CallReachGraph& graph, int32_t edge, const std::string& cfgDir);

/// The part of a call rule's report line that a baseline entry is matched by.
std::string_view CallRuleKey(std::string_view line);

}  // namespace quillmap
