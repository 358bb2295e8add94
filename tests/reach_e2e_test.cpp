// Call rules, reachability queries and the SARIF log through the real program: the exit status
// a CI job sees, the witness chains of the report, a baseline shared with the module rules, the
// answers of -reach, -why and -dead, and a SARIF log that the format's own validator accepts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kSources =
    "file0=isr.c\nfile1=log.c\nfile2=app.c\n[scan]\nsyntax=c\n[calls]\n0=*\n"
    "[modules]\nmod_0=isr\nmod_0_file_0=isr.c\nmod_1=log\nmod_1_file_0=log.c\nmod_2=app\n"
    "mod_2_file_0=app.c\ndot=modules.dot\n";
const std::string kViolation =
    "rule violated: forbid_reach_0 (*_IRQHandler, isr_* -> malloc, *printf*): vsnprintf "
    "reachable: isr_uart -> log_event -> vsnprintf";

class ReachEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("isr.c",
              "void isr_uart(void) { log_event(1); }\n"
              "void USART1_IRQHandler(void) {\n  isr_uart();\n}\n");
    dir.Write("log.c",
              "#include <stdio.h>\nvoid log_event(int e)\n{\n  char b[8];\n"
              "  vsnprintf(b, 8, \"%d\", e);\n}\n"
              "static void unused(void) { log_event(2); }\n");
    dir.Write("app.c",
              "int main(void) { log_event(0); return 0; }\n"
              "void app_init(void) { }\n");
  }
  ProgramResult Run(const std::string& more, std::vector<std::string> extra = {},
                    const std::string& files = "") {
    dir.Write("scan.cfg", "[files]\n" + files + kSources + more);
    std::vector<std::string> args{"-cfg", dir / "scan.cfg"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunQuillmap(args, dir.path());
  }
  TempDir dir;
};

TEST_F(ReachEndToEnd, CallRulesFailTheRunWithAWitnessUnlessTheBaselineKnowsThem) {
  const std::string rule = "[rules]\nforbid_reach_0=*_IRQHandler, isr_* -> malloc, *printf*\n";
  const ProgramResult broken = Run(rule);
  EXPECT_EQ(broken.status, 3) << broken.out << broken.err;
  EXPECT_THAT(broken.out, HasSubstr(kViolation + "\n"
                                                 "  isr_uart (isr.c:1) calls log_event\n"
                                                 "  log_event (log.c:5) calls vsnprintf\n"));
  EXPECT_THAT(broken.out, HasSubstr("forbid_reach_0: no function matches malloc\n"));
  EXPECT_THAT(broken.out, HasSubstr("call rules checked: 1 violations (1 new)\n"));

  // One baseline for module and call rules, written at once; the next run passes.
  const std::string both = "rule_0=isr !-> log\n" + rule;
  const ProgramResult written = Run(both, {"-write-baseline", dir / "known.txt"});
  EXPECT_EQ(written.status, 0) << written.out;
  EXPECT_EQ(ReadFile(dir / "known.txt"),
            "rule violated: isr !-> log: isr_uart (isr.c:1) calls log_event\n" + kViolation + "\n");
  const ProgramResult known = Run("baseline=known.txt\n" + both);
  EXPECT_EQ(known.status, 0) << known.out;
  EXPECT_THAT(known.out, HasSubstr("call rules checked: 1 violations (0 new, 1 in the baseline)"));
  EXPECT_THAT(known.out, Not(HasSubstr("baseline entry no longer violated")));

  const ProgramResult malformed = Run("[rules]\nforbid_reach_0=isr_* malloc\n");
  EXPECT_EQ(malformed.status, 1);
  EXPECT_THAT(malformed.out, HasSubstr("error in forbid_reach_0: malformed rule"));
}

TEST_F(ReachEndToEnd, QueriesAnswerOnStandardOutputOrIntoAFile) {
  const struct {
    std::vector<std::string> options;
    std::string answer;
    int status;
  } cases[] = {
      {{"-reach", "isr_uart"},
       "depth,function,file,line\n0,isr_uart,isr.c,1\n1,log_event,log.c,2\n2,vsnprintf,,\n",
       0},
      {{"-reach", "log_event", "-direction", "callers"},
       "depth,function,file,line\n0,log_event,log.c,2\n1,isr_uart,isr.c,1\n"
       "1,unused,log.c,7\n1,main,app.c,1\n2,USART1_IRQHandler,isr.c,2\n",
       0},
      {{"-why", "main,vsnprintf"},
       "step,caller,callee,file,line,kind,via\n1,main,log_event,app.c,1,direct,\n"
       "2,log_event,vsnprintf,log.c,5,direct,\n",
       0},
      {{"-why", "app_init,vsnprintf"}, "not reachable: app_init -> vsnprintf\n", 0},
      {{"-dead", "all"},
       "function,file,line\nisr_uart,isr.c,1\nUSART1_IRQHandler,isr.c,2\nunused,log.c,7\n"
       "app_init,app.c,2\n",
       0},
      {{"-dead", "static"}, "function,file,line\nunused,log.c,7\n", 0},
      {{"-reach", "nobody"}, "", 1},
      {{"-dead", "some"}, "", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.options[1]);
    const ProgramResult r = Run("", c.options);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.answer);
  }
  // Into a file, as JSON; the log is then on standard output as always.
  const ProgramResult json = Run("[rules]\nentry=*_init, *_IRQHandler\n",
                                 {"-dead", "all", "-format", "json", "-o", dir / "dead.json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_THAT(json.out, HasSubstr("answer written: "));
  const nlohmann::json dead = nlohmann::json::parse(ReadFile(dir / "dead.json"));
  ASSERT_EQ(dead["functions"].size(), 1u);
  EXPECT_EQ(dead["functions"][0]["name"], "unused");
}

// In the resolved mode the chains go through function pointers, and a function registered in a
// table is not dead.
TEST_F(ReachEndToEnd, ResolvedCallsThroughPointersAreFollowed) {
  dir.Write("drv.c",
            "struct ops { void (*write)(int c); };\n"
            "static void uart_write(int c) { printf(\"%d\", c); }\n"
            "static const struct ops uart_ops = { .write = uart_write };\n"
            "void isr_tx(const struct ops *o) { o->write(1); }\n");
  dir.Write("resolved.cfg",
            "[files]\nfile0=drv.c\n[scan]\nsyntax=c\nresolve=yes\n[calls]\n0=*\n"
            "[rules]\nforbid_reach_0=isr_* -> printf\n");
  const ProgramResult rule = RunQuillmap({"-cfg", dir / "resolved.cfg"}, dir.path());
  EXPECT_EQ(rule.status, 3) << rule.out;
  EXPECT_THAT(rule.out, HasSubstr("printf reachable: isr_tx -> uart_write -> printf\n"
                                  "  isr_tx (drv.c:4) calls uart_write through o->write\n"
                                  "  uart_write (drv.c:2) calls printf\n"));
  const ProgramResult dead =
      RunQuillmap({"-cfg", dir / "resolved.cfg", "-dead", "all"}, dir.path());
  EXPECT_EQ(dead.out, "function,file,line\nisr_tx,drv.c,4\n");
  const ProgramResult why =
      RunQuillmap({"-cfg", dir / "resolved.cfg", "-why", "isr_tx,uart_write"}, dir.path());
  EXPECT_EQ(why.out,
            "step,caller,callee,file,line,kind,via\n1,isr_tx,uart_write,drv.c,4,pointer,"
            "o->write\n");
}

TEST_F(ReachEndToEnd, TheSarifLogHoldsEveryFindingAndPassesTheValidator) {
  const ProgramResult r =
      Run("cycles=deny\nrule_0=isr !-> log\n[rules]\nforbid_reach_0=isr_* -> vsnprintf\n",
          {"-annotations", "github"}, "sarif=out.sarif\n");
  EXPECT_EQ(r.status, 3) << r.out;
  EXPECT_THAT(r.out, HasSubstr("::error file=isr.c,line=1,title=module/rule_0::rule violated: "
                               "isr !-> log: isr_uart (isr.c:1) calls log_event\n"));
  EXPECT_THAT(r.out, HasSubstr("::error file=log.c,line=5,title=calls/forbid_reach_0::"));
  const nlohmann::json log = nlohmann::json::parse(ReadFile(dir / "out.sarif"));
  ASSERT_EQ(log["runs"][0]["results"].size(), 2u);

  // The log and a query's answer obey the rule of every output: never the configuration, a
  // source or another output.
  const std::string cfg = ReadFile(dir / "scan.cfg");
  for (const std::vector<std::string>& clash :
       {std::vector<std::string>{"-sarif", dir / "scan.cfg"},
        std::vector<std::string>{"-dead", "all", "-o", dir / "log.c"},
        std::vector<std::string>{"-dead", "all", "-o", dir / "modules.dot"}}) {
    const std::string before = ReadFile(clash.back());
    const ProgramResult refused =
        RunQuillmap({"-cfg", dir / "scan.cfg", clash[0], clash[1],
                     clash.size() > 2 ? clash[2] : "-x", clash.size() > 2 ? clash[3] : "y"},
                    dir.path());
    EXPECT_EQ(refused.status, 1) << clash.back();
    EXPECT_THAT(refused.out + refused.err, HasSubstr("error writing: " + clash.back()));
    // The run writes its own outputs anew (the module graph with a new time); the answer never.
    EXPECT_EQ(WithoutDotTimes(ReadFile(clash.back())), WithoutDotTimes(before));
  }
  EXPECT_EQ(ReadFile(dir / "scan.cfg"), cfg);

  const std::string validator = QUILLMAP_SARIF_VALIDATOR;
  if (!FileExists(validator)) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") {
      ADD_FAILURE() << "the SARIF Multitool is missing: scripts/install-sarif-validator.sh";
    }
    return;
  }
  const std::string report = dir / "validation.txt";
  const std::string command =
      "'" + validator + "' validate '" + (dir / "out.sarif") + "' > '" + report + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  const std::string validation = ReadFile(report);
  EXPECT_THAT(validation, HasSubstr("1 files scanned"));
  EXPECT_THAT(validation, Not(HasSubstr(": error "))) << validation;
}

}  // namespace
}  // namespace quillmap::testing
