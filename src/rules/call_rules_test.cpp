#include "rules/call_rules.h"

#include <gtest/gtest.h>

#include <map>

#include "reach/reach_test_model.h"
#include "rules/rule_baseline.h"

namespace quillmap {
namespace {

CallRuleReading Read(const std::map<std::string, std::string>& keys) {
  return ReadCallRules(
      [&](const std::string& key) {
        const auto it = keys.find(key);
        return it == keys.end() ? std::string() : it->second;
      },
      "/p/", "/p/known.txt");
}

TEST(CallRules, ReadsNumberedRulesUntilTheFirstGapAndNamesBadOnes) {
  const CallRuleReading reading = Read({{"forbid_reach_0", " *_IRQHandler , isr_* -> malloc,free"},
                                        {"forbid_reach_1", "isr_* malloc"},
                                        {"forbid_reach_2", " -> free"},
                                        {"forbid_reach_4", "a -> b"},
                                        {"entry", "*_init, main"}});
  ASSERT_EQ(reading.rules.forbidReach.size(), 1u);
  EXPECT_EQ(reading.rules.forbidReach[0].Text(), "*_IRQHandler, isr_* -> malloc, free");
  EXPECT_EQ(reading.errors,
            (StringList{"error in forbid_reach_1: malformed rule (write ROOTS -> FORBIDDEN): "
                        "\"isr_* malloc\"",
                        "error in forbid_reach_2: malformed rule (write ROOTS -> FORBIDDEN): "
                        "\" -> free\""}));
  EXPECT_EQ(reading.rules.entries, (std::vector<std::string>{"*_init", "main"}));
  EXPECT_EQ(reading.rules.baselinePath, "/p/known.txt");  // the module rules' baseline
  EXPECT_EQ(Read({{"baseline", "calls.txt"}}).rules.baselinePath, "/p/calls.txt");
}

// Each forbidden function that a root reaches is one violation, witnessed by its shortest chain
// (cycles and self-calls included); patterns that match nothing are noted, not passed silently.
TEST(CallRules, ViolationsNameTheForbiddenFunctionAndTheShortestChain) {
  struct Case {
    const char* model;
    const char* rule;
    std::vector<std::string> lines;
    std::vector<std::string> notes;
  };
  const Case cases[] = {
      {"isr.c: isr_uart -> log_event; log_event -> vsnprintf log_event",
       "isr_* -> *printf*",
       {"rule violated: forbid_reach_0 (isr_* -> *printf*): vsnprintf reachable: isr_uart -> "
        "log_event -> vsnprintf"},
       {}},
      {"isr.c: isr_a -> malloc; isr_b -> work; work -> isr_a free",
       "isr_* -> malloc, free",
       {"rule violated: forbid_reach_0 (isr_* -> malloc, free): malloc reachable: isr_a -> malloc",
        "rule violated: forbid_reach_0 (isr_* -> malloc, free): free reachable: isr_b -> work -> "
        "free"},
       {}},
      // A forbidden root is reached by itself.
      {"a.c: malloc_wrap -> x",
       "malloc_* -> malloc_*",
       {"rule violated: forbid_reach_0 (malloc_* -> malloc_*): malloc_wrap reachable: "
        "malloc_wrap"},
       {}},
      {"a.c: isr -> safe",
       "isr, nothing_* -> printf",
       {},
       {"forbid_reach_0: no function matches nothing_*",
        "forbid_reach_0: no function matches "
        "printf"}},
      // b.c's static helper is not a.c's: no violation through it.
      {"a.c: static helper -> malloc\nb.c: isr -> helper; static helper -> ok",
       "isr -> malloc",
       {},
       {}},
  };
  for (const Case& c : cases) {
    const CallGraphModel model = BuildTestModel(c.model);
    const CallReachGraph graph(model);
    const CallRuleReading reading = Read({{"forbid_reach_0", c.rule}});
    const CallRuleCheckResult result = CheckCallRules(reading.rules, graph, "");
    std::vector<std::string> lines;
    for (const CallRuleViolation& violation : result.violations) lines.push_back(violation.line);
    EXPECT_EQ(lines, c.lines) << c.model;
    EXPECT_EQ(result.notes, c.notes) << c.model;
  }
}

TEST(CallRules, BaselineMatchesAViolationWhateverItsChainOrLines) {
  const std::string known =
      "rule violated: forbid_reach_0 (isr_* -> malloc): malloc reachable: isr_a -> malloc";
  const std::vector<RuleViolation> now = {
      {"rule violated: forbid_reach_0 (isr_* -> malloc): malloc reachable: isr_b -> w -> malloc",
       {},
       "forbid_reach_0"},
      {"rule violated: forbid_reach_0 (isr_* -> malloc): free reachable: isr_b -> free",
       {},
       "forbid_reach_0"}};
  const BaselineComparison comparison = CompareWithBaseline(now, {known});
  EXPECT_EQ(comparison.fresh, (std::vector<size_t>{1}));
  EXPECT_TRUE(comparison.stale.empty());
  EXPECT_TRUE(IsCallRuleEntry(known));
  EXPECT_FALSE(IsCallRuleEntry("rule violated: drivers !-> app: f (a.c:3) calls g"));
}

}  // namespace
}  // namespace quillmap
