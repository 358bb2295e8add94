// Module rules through the real program: the exit status a CI job sees (3 for a new violation,
// 1 when the run also reported an error, 0 with the violation in the baseline), the report on
// standard output, the violating edge in the module graph, and -write-baseline.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using ::testing::HasSubstr;

const std::string kRun =
    "csv=out.csv\ndot=out.dot\nfile0=app.c\n[calls]\n0=App_\n"
    "[modules]\nlog=mod.log\ndot=modules.dot\n"
    "mod_0=app\nmod_0_file_0=app.c\nmod_1=drivers\nmod_1_file_0=drivers/uart.c\n";
const std::string kReport =
    "rule violated: drivers !-> app: Uart_RxIsr (drivers/uart.c:4) calls App_OnByte\n";

class RulesEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("app.c", "void App_OnByte(int b)\n{\n  Uart_Tx(b);\n}\n");
    dir.Write("drivers/uart.c",
              "void Uart_RxIsr(void)\n{\n  int b = 0;\n  App_OnByte(b);\n}\n"
              "void Uart_Tx(int b)\n{\n}\n");
  }
  ProgramResult Run(const std::string& rules, std::vector<std::string> extra = {},
                    const std::string& files = "") {
    dir.Write("scan.cfg", "[files]\n" + files + kRun + rules);
    std::vector<std::string> args{"-cfg", dir / "scan.cfg"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunQuillmap(args, dir.path());
  }
  TempDir dir;
};

TEST_F(RulesEndToEnd, ExitStatusTellsABrokenRuleFromABrokenRun) {
  const struct {
    const char* name;
    std::string rules;
    int status;
    bool reported;
  } cases[] = {
      {"rules that hold", "rule_0=drivers -> app\nlayers=app, drivers\n", 0, false},
      {"a broken rule", "layers=app\nrule_0=drivers !-> app\n", 3, true},
      {"broken, and a source missing", "rule_0=drivers !-> app\nmod_1_file_1=gone.c\n", 1, true},
      {"a rule naming an unknown module", "rule_0=drivers !-> ap\n", 1, false},
      {"known from the baseline", "rule_0=drivers !-> app\nbaseline=known.txt\n", 0, false},
  };
  dir.Write("known.txt", kReport);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ProgramResult r = Run(c.rules);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(r.out.find(kReport) != std::string::npos, c.reported) << r.out;
  }
}

TEST_F(RulesEndToEnd, TheViolatingEdgeIsRedAndBoldAndGraphvizReadsIt) {
  EXPECT_EQ(Run("rule_0=drivers !-> app\ncycles=deny\n").status, 3);
  const std::string graph = ReadFile(dir / "modules.dot");
  EXPECT_THAT(graph,
              HasSubstr("  drivers_Uart_RxIsr -> app_App_OnByte [color=red, style=bold];\r\n"));
  EXPECT_THAT(graph, HasSubstr("  app_App_OnByte -> drivers_Uart_Tx [color=red, style=bold];\r\n"));
  ArchiveDotFile(dir / "modules.dot");
  ExpectGraphvizAccepts(dir / "modules.dot");
}

TEST_F(RulesEndToEnd, AWrittenBaselineMakesTheNextRunPass) {
  const ProgramResult written =
      Run("rule_0=drivers !-> app\ncycles=deny\n", {"-write-baseline", dir / "known.txt"});
  EXPECT_EQ(written.status, 0) << written.out;
  EXPECT_EQ(ReadFile(dir / "known.txt"),
            kReport + "rule violated: cycles=deny: app -> drivers -> app\n");
  EXPECT_EQ(Run("rule_0=drivers !-> app\ncycles=deny\nbaseline=known.txt\n").status, 0);
}

TEST_F(RulesEndToEnd, TheJsonExportHoldsTheViolationsAndAMissingFolderIsAnError) {
  EXPECT_EQ(Run("rule_0=drivers !-> app\n", {}, "json=graph.json\n").status, 3);
  const std::string graph = ReadFile(dir / "graph.json");
  EXPECT_THAT(graph, HasSubstr("\"report\":\"" + kReport.substr(0, kReport.size() - 1) + "\""));
  EXPECT_THAT(graph, HasSubstr("\"version\":1"));
  const ProgramResult missing = Run("", {}, "json=no/graph.json\n");
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.out, HasSubstr("error writing: " + dir / "no/graph.json"));
}

}  // namespace
}  // namespace quillmap::testing
