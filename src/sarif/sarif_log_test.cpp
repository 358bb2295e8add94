#include "sarif/sarif_log.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "reach/reach_test_model.h"

namespace quillmap {
namespace {

using Json = nlohmann::json;

// Findings of both kinds over a small model; `shift` moves every call down by that many lines.
struct Fixture {
  explicit Fixture(int shift) {
    model = BuildTestModel("/p/isr dir/isr.c: isr_uart -> log_event; log_event -> vsnprintf");
    graph = std::make_unique<CallReachGraph>(model);
    moduleCalls.Add({0, 1, "Uart_RxIsr", "Proto_Feed", "/p/drivers/uart.c", 40 + shift});
    moduleCalls.Add({1, 2, "Proto_Feed", "App_On", "/p/comm/proto.c", 7 + shift});
    moduleCalls.Add({2, 0, "App_On", "Uart_Send", "/p/app/app.c", 9 + shift});
    findings.moduleCalls = &moduleCalls;
    findings.moduleViolations = {
        {"rule violated: drivers !-> comm: Uart_RxIsr (drivers/uart.c:" +
             std::to_string(40 + shift) + ") calls Proto_Feed",
         {0},
         "rule_0"},
        {"rule violated: cycles=deny: drivers -> comm -> app -> drivers", {0, 1, 2}, "cycles"}};
    findings.moduleFresh = {1, 0};
    findings.graph = graph.get();
    ForbidReachRule rule{"forbid_reach_0", {"isr_*"}, {"*printf*"}};
    findings.callRules = {rule};
    CallRuleViolation violation;
    violation.line =
        "rule violated: forbid_reach_0 (isr_* -> *printf*): vsnprintf reachable: "
        "isr_uart -> log_event -> vsnprintf";
    violation.chain = {0, 1};
    findings.callViolations = {violation};
    findings.callFresh = {1};
    findings.cfgDir = "/p/";
  }
  CallGraphModel model;
  std::unique_ptr<CallReachGraph> graph;
  ModuleCalls moduleCalls;
  RunFindings findings;
};

TEST(SarifLog, ResultsCarryRuleIdsLocationsFlowsAndBaselineStates) {
  const Fixture fixture(0);
  const Json log = Json::parse(SarifLogText(fixture.findings, "1.0"));
  EXPECT_EQ(log["version"], "2.1.0");
  const Json& run = log["runs"][0];
  std::vector<std::string> ruleIds;
  for (const Json& rule : run["tool"]["driver"]["rules"]) ruleIds.push_back(rule["id"]);
  EXPECT_EQ(ruleIds,
            (std::vector<std::string>{"module/rule_0", "module/cycles", "calls/forbid_reach_0"}));
  const Json& results = run["results"];
  ASSERT_EQ(results.size(), 3u);
  struct Expected {
    const char* uri;
    int line;
    size_t flowSteps;
    const char* state;
  };
  const Expected expected[] = {{"drivers/uart.c", 40, 0, "new"},
                               {"drivers/uart.c", 40, 3, "unchanged"},
                               // the forbidden call: the chain's last, in a folder with a blank
                               {"isr%20dir/isr.c", 4, 2, "new"}};
  for (size_t r = 0; r < results.size(); ++r) {
    const Json& result = results[r];
    EXPECT_EQ(result["ruleIndex"], r);
    const Json& location = result["locations"][0]["physicalLocation"];
    EXPECT_EQ(location["artifactLocation"]["uri"], expected[r].uri) << r;
    EXPECT_EQ(location["artifactLocation"]["uriBaseId"], "PROJECTROOT");
    EXPECT_EQ(location["region"]["startLine"], expected[r].line) << r;
    const size_t steps = result.contains("codeFlows")
                             ? result["codeFlows"][0]["threadFlows"][0]["locations"].size()
                             : 0;
    EXPECT_EQ(steps, expected[r].flowSteps) << r;
    EXPECT_EQ(result["baselineState"], expected[r].state) << r;
  }
  EXPECT_EQ(run["originalUriBaseIds"]["PROJECTROOT"]["uri"], "file:///p/");
}

TEST(SarifLog, FingerprintsStayWhenLinesMoveAndDifferBetweenFindings) {
  const Fixture before(0), after(25);
  const Json a = Json::parse(SarifLogText(before.findings, "1.0"));
  const Json b = Json::parse(SarifLogText(after.findings, "1.0"));
  std::set<std::string> distinct;
  for (size_t r = 0; r < 3; ++r) {
    const Json& print = a["runs"][0]["results"][r]["partialFingerprints"];
    EXPECT_EQ(print, b["runs"][0]["results"][r]["partialFingerprints"]) << r;
    distinct.insert(print.begin().value().get<std::string>());
  }
  EXPECT_EQ(distinct.size(), 3u);
  EXPECT_NE(a["runs"][0]["results"][0]["locations"], b["runs"][0]["results"][0]["locations"]);
}

TEST(SarifLog, GithubAnnotationsListNewFindingsWithEscapedTexts) {
  Fixture fixture(0);
  fixture.findings.moduleViolations[0].line += "\n100%";
  const std::vector<std::string> lines = GithubAnnotations(fixture.findings, "/p/");
  ASSERT_EQ(lines.size(), 2u);  // the cycle is in the baseline
  EXPECT_EQ(lines[0],
            "::error file=drivers/uart.c,line=40,title=module/rule_0::rule violated: drivers !-> "
            "comm: Uart_RxIsr (drivers/uart.c:40) calls Proto_Feed%0A100%25");
  EXPECT_TRUE(
      lines[1].starts_with("::error file=isr dir/isr.c,line=4,title=calls/forbid_reach_0::"))
      << lines[1];
}

}  // namespace
}  // namespace quillmap
