// The module rules inside the module graph: the report in the activity log, violating edges in
// the module graph, the baseline (known, stale, missing, malformed, written) and rule errors.
#include "rules/module_rule_check.h"

#include "modgraph/fast_module_scan.h"
#include "modgraph/modgraph_test_fixture.h"
#include "modgraph/module_graph_output.h"

namespace quillmap::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// app calls drivers; drivers calls back into app from line 4 of uart.c.
const std::string kModules =
    "log=mod.log\ndot=modules.dot\nmod_0=app\nmod_0_file_0=app.c\nmod_0_dot_call=[color=blue]\n"
    "mod_1=drivers\nmod_1_file_0=drv/uart.c\n";

class ModuleRuleCheckTest : public ModuleGraphTest {
 protected:
  void SetUp() override {
    dir.Write("app.c", "int App_Main(void)\n{\n  Uart_Tx();\n}\nint App_OnByte(int b)\n{\n}\n");
    dir.Write("drv/uart.c",
              "void Uart_Tx(void)\n{\n}\nvoid Uart_RxIsr(void)\n{\n  App_OnByte(1);\n}\n");
  }
  // Runs the module graph with the rule check and returns the activity log.
  std::vector<std::string> Run(const std::string& rules, const std::string& baselineOutput = "") {
    WriteConfig(kModules + rules);
    ModuleRuleCheck check(cfgPath, baselineOutput);
    Read();
    FastModuleScan engine;
    ScanModules(context, *table, engine);
    WriteModuleGraphDot(context, *table, check.Check(context, *table));
    newViolations = check.newViolations();
    return {log.entries.begin() + 2, log.entries.end()};  // after the "scanning calls" lines
  }
  bool newViolations = false;
};

const std::string kViolation =
    "rule violated: drivers !-> app: Uart_RxIsr (drv/uart.c:6) calls App_OnByte";

TEST_F(ModuleRuleCheckTest, AViolationIsReportedAndItsEdgeDrawnRedAndBold) {
  EXPECT_THAT(Run("rule_0=app -> drivers\nrule_1=drivers !-> app\n"),
              ElementsAre(kViolation, "rules checked: 1 violations (1 new)"));
  EXPECT_TRUE(newViolations);
  EXPECT_FALSE(context.errorReported());
  EXPECT_THAT(DotLines(), Contains("  app_App_Main -> drivers_Uart_Tx [color=blue];"));
  EXPECT_THAT(DotLines(),
              Contains("  drivers_Uart_RxIsr -> app_App_OnByte [color=red, style=bold];"));
}

TEST_F(ModuleRuleCheckTest, WithoutRuleKeysNothingIsReportedOrDrawn) {
  EXPECT_THAT(Run(""), ElementsAre());
  EXPECT_THAT(DotLines(), Contains("  drivers_Uart_RxIsr -> app_App_OnByte;"));
}

TEST_F(ModuleRuleCheckTest, CyclesAreReportedWithTheirChain) {
  EXPECT_THAT(Run("cycles=deny\n"), ElementsAre("rule violated: cycles=deny: app -> drivers -> app",
                                                "rules checked: 1 violations (1 new)"));
  EXPECT_THAT(DotLines(),
              Contains("  app_App_Main -> drivers_Uart_Tx [color=blue] [color=red, style=bold];"));
}

TEST_F(ModuleRuleCheckTest, TheBaselineAcceptsKnownViolationsWhereverTheyMovedAndNamesStaleOnes) {
  dir.Write("known.txt",
            "# accepted until the ISR queue lands\r\n"
            "rule violated: drivers !-> app: Uart_RxIsr (drv/uart.c:99) calls App_OnByte\r\n\r\n"
            "rule violated: drivers !-> app: Gone (drv/uart.c:7) calls App_OnByte\n");
  EXPECT_THAT(Run("rule_0=drivers !-> app\nbaseline=known.txt\n"),
              ElementsAre("baseline entry no longer violated: rule violated: drivers !-> app: "
                          "Gone (drv/uart.c:7) calls App_OnByte",
                          "rules checked: 1 violations (0 new, 1 in the baseline)"));
  EXPECT_FALSE(newViolations);
  EXPECT_FALSE(context.errorReported());
}

TEST_F(ModuleRuleCheckTest, BadRulesAndBaselinesAreErrors) {
  const struct {
    std::string rules;
    std::string baseline;  // contents of bad.txt; "-" for none
    std::vector<std::string> log;
    bool fresh;
  } cases[] = {
      {"rule_0=app !-> lib\n", "-", {"error in rule_0: unknown module \"lib\""}, false},
      {"rule_0=app -> drivers\nrule_1=app !-> drivers\n",
       "-",
       {"rule_1 (app !-> drivers) never applies: rule_0 (app -> drivers) decides first",
        "rules checked: 0 violations (0 new)"},
       false},
      {"rule_0=drivers !-> app\nbaseline=bad.txt\n",
       "-",
       {"error in baseline: cannot read " + dir / "bad.txt", kViolation,
        "rules checked: 1 violations (1 new, 0 in the baseline)"},
       true},
      // A folder is refused at once with its reason, as a source would be.
      {"rule_0=drivers !-> app\nbaseline=.\n",
       "-",
       {"error in baseline: cannot read " + dir / ". (a folder)", kViolation,
        "rules checked: 1 violations (1 new, 0 in the baseline)"},
       true},
      {"rule_0=drivers !-> app\nbaseline=bad.txt\n",
       kViolation + "\nUart_RxIsr calls App_OnByte\n",
       {"error in baseline: " + dir / "bad.txt" +
            ":2: not a report line: Uart_RxIsr calls App_OnByte",
        kViolation, "rules checked: 1 violations (1 new, 0 in the baseline)"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rules);
    log.entries.clear();
    context.ResetErrors();
    std::remove((dir / "bad.txt").c_str());
    if (c.baseline != "-") dir.Write("bad.txt", c.baseline);
    EXPECT_THAT(Run(c.rules), ::testing::ElementsAreArray(c.log));
    EXPECT_EQ(context.errorReported(), c.log.front().starts_with("error"));
    EXPECT_EQ(newViolations, c.fresh);
  }
}

TEST_F(ModuleRuleCheckTest, WritingTheBaselineListsEveryViolationAndAcceptsThem) {
  dir.Write("known.txt", "not a report line\n");
  const std::string written = dir / "new.txt";
  EXPECT_THAT(Run("rule_0=drivers !-> app\nbaseline=known.txt\n", written),
              ElementsAre(kViolation, "baseline written: " + written,
                          "rules checked: 1 violations (0 new, 1 in the baseline)"));
  EXPECT_FALSE(newViolations);
  EXPECT_EQ(ReadFile(written), kViolation + "\n");
  log.entries.clear();
  EXPECT_THAT(Run("rule_0=drivers !-> app\n", dir / "missing/new.txt"),
              Contains("error writing: " + dir / "missing/new.txt"));
  EXPECT_TRUE(context.errorReported());
}

}  // namespace
}  // namespace quillmap::testing
