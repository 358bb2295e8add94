// The scan run as its hosts see it: the graph model it leaves (both syntaxes, both engines), and a
// run that its observer stops, which leaves no output.
#include "scan/scan_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "support/scan_fixture.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::RecordingLog;
using testing::TempDir;

struct ModelCase {
  const char* syntax;
  bool reference;
};

class ScanRunModelTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ScanRunModelTest, HoldsEveryFunctionWithItsFileLineModuleAndCalls) {
  TempDir dir;
  dir.Write("src/a.c", "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n  bar();\n}\n");
  dir.Write("src/b.c", "\nint bar(void)\n{\n  foo(1);\n");  // the body never closes
  const std::string cfg = dir.Write(
      "scan.cfg", std::string("[scan]\nsyntax=") + GetParam().syntax +
                      "\n[files]\ndot=calls.dot\nfile0=src/a.c\nfile1=src/gone.c\nfile2=src/b.c\n"
                      "[calls]\n0=foo\n1=Send,,m\n2=bar\n[dot]\ncall_cfgm=[label=$0]\n"
                      "[modules]\ndot=mod.dot\nmod_0=app\nmod_0_file_0=src/a.c\n"
                      "mod_1=lib\nmod_1_file_0=src/b.c\n");
  ScanRun run;
  if (GetParam().reference) run.UseEngines({true, true, true, true});
  RecordingLog log;
  const RunOutcome outcome = run.Run(cfg, log);
  EXPECT_TRUE(outcome.finished);
  EXPECT_TRUE(outcome.errorReported);  // src/gone.c

  const CallGraphModel& graph = run.model().callGraph;
  ASSERT_EQ(graph.sources.size(), 3u);
  EXPECT_TRUE(graph.sources[0].opened);
  EXPECT_EQ(graph.sources[1].failure, "error opening: " + dir / "src/gone.c");
  ASSERT_EQ(graph.functions.size(), 2u);
  const FunctionRecord& foo = graph.functions[0];
  EXPECT_EQ(graph.NameOf(foo.name), "foo");
  EXPECT_EQ(graph.DetailsOf(foo).header, "int foo(int a)");
  EXPECT_EQ(foo.file, 0);
  EXPECT_EQ(graph.DetailsOf(foo).line, 1);
  EXPECT_EQ(graph.DetailsOf(foo).braceLine, 1);
  EXPECT_EQ(foo.module, 0);
  EXPECT_TRUE(foo.closed);
  ASSERT_EQ(foo.callCount, 2u);
  const CallRecord& send = graph.calls[foo.firstCall];
  EXPECT_EQ(graph.NameOf(send.callee), "SendMsg");
  EXPECT_EQ(graph.CallTextOf(foo.firstCall), "SendMsg(MSG_START)");
  const CallDetails details = graph.DetailsOf(send);
  EXPECT_EQ(StringList(details.arguments.begin(), details.arguments.end()),
            (StringList{"MSG_START", "a"}));
  EXPECT_EQ(details.line, 3);
  EXPECT_EQ(graph.EdgeStyleOf(send), "[label=MSG_START]");
  const FunctionRecord& bar = graph.functions[1];
  EXPECT_EQ(bar.file, 2);
  EXPECT_EQ(graph.DetailsOf(bar).line, 2);
  EXPECT_EQ(bar.module, 1);
  ASSERT_EQ(run.model().moduleGraph.modules.size(), 2u);
  EXPECT_EQ(run.model().moduleGraph.modules[1].name, "lib");
  std::vector<std::string> moduleCalls;
  const ModuleCalls& calls = run.model().moduleGraph.calls;
  for (const ModuleCallRecord& call : calls) {
    moduleCalls.push_back(std::to_string(call.fromModule) + ":" +
                          std::string(calls.CallerOf(call)) + " -> " +
                          std::to_string(call.toModule) + ":" + std::string(calls.CalleeOf(call)) +
                          " " + std::string(calls.FileOf(call).substr(dir.path().size())) + ":" +
                          std::to_string(call.line));
  }
  EXPECT_EQ(moduleCalls,
            (std::vector<std::string>{"0:foo -> 1:bar src/a.c:4", "1:bar -> 0:foo src/b.c:4"}));
}

INSTANTIATE_TEST_SUITE_P(SyntaxesAndEngines, ScanRunModelTest,
                         ::testing::Values(ModelCase{"lines", false}, ModelCase{"lines", true},
                                           ModelCase{"c", false}),
                         [](const auto& info) {
                           return std::string(info.param.syntax) +
                                  (info.param.reference ? "Reference" : "Fast");
                         });

// Asks to stop once the given stage reaches the given source.
class StoppingObserver : public RunObserver {
 public:
  StoppingObserver(std::string_view stage, size_t at) : stage_(stage), at_(at) {}
  void OnProgress(std::string_view stage, size_t done, size_t total) override {
    progress.push_back(std::string(stage) + " " + std::to_string(done) + "/" +
                       std::to_string(total));
    if (stage == stage_ && done == at_) stop_ = true;
  }
  bool StopRequested() override { return stop_; }
  std::vector<std::string> progress;

 private:
  std::string_view stage_;
  size_t at_;
  bool stop_ = false;
};

// In the resolved mode a compilation database gives more than its sources: the headers of its
// include folders, and -D options that decide conditions (those of every entry in the headers
// too, an entry's own in its source alone).
TEST(ScanRunResolved, TheBuildOfACompilationDatabaseDecidesTheMacros) {
  TempDir dir;
  dir.Write("inc/defs.h",
            "#ifdef FAST\n#define PICK(x) fast(x)\n#else\n#define PICK(x) slow(x)\n#endif\n");
  dir.Write("src/a.c",
            "int fast(int x) { return x; }\nint slow(int x) { return x; }\n"
            "int use(int x) { return PICK(x); }\n");
  dir.Write("src/b.c",
            "#ifndef LOUD\n#define SAY(x) quiet(x)\n#else\n#define SAY(x) shout(x)\n#endif\n"
            "int talk(int x) { return SAY(x) + PICK(x); }\n");
  dir.Write("src/c.c", "int other(int x) { return SAY(x); }\n");
  dir.Write("build/cc.json",
            "[{\"directory\": \"..\", \"file\": \"src/a.c\", \"arguments\": "
            "[\"gcc\", \"-Iinc\", \"-DFAST\", \"-c\", \"src/a.c\"]},\n"
            "{\"directory\": \"..\", \"file\": \"src/b.c\", \"command\": "
            "\"gcc -I inc -DFAST -DLOUD -c src/b.c\"},\n"
            "{\"directory\": \"..\", \"file\": \"src/c.c\", \"command\": "
            "\"gcc -I inc -I gone -DFAST -c src/c.c\"}]\n");
  const std::string cfg = dir.Write("scan.cfg",
                                    "[scan]\nsyntax=c\nresolve=yes\n[files]\ndot=calls.dot\n"
                                    "compile_commands=build/cc.json\n[calls]\n0=*\n");
  ScanRun run;
  RecordingLog log;
  const RunOutcome outcome = run.Run(cfg, log);
  EXPECT_TRUE(outcome.finished);
  EXPECT_FALSE(outcome.errorReported);  // an include folder that does not exist is no error
  const CallGraphModel& graph = run.model().callGraph;
  std::set<std::string> edges;
  for (const FunctionRecord& function : graph.functions) {
    for (const uint32_t c : graph.CallsOf(function)) {
      edges.insert(std::string(graph.NameOf(function.name)) + " -> " +
                   std::string(graph.NameOf(graph.calls[c].callee)));
    }
  }
  EXPECT_EQ(edges, (std::set<std::string>{"use -> fast", "talk -> shout", "talk -> fast",
                                          "other -> SAY"}));
}

TEST(ScanRunObserver, SeesEverySourceAndAStoppedRunWritesNoCallGraph) {
  TempDir dir;
  dir.Write("a.c", "int foo(void)\n{\n  bar();\n}\n");
  dir.Write("b.c", "int bar(void)\n{\n}\n");
  const std::string cfg =
      dir.Write("scan.cfg",
                "[files]\ndot=calls.dot\ncsv=calls.csv\nfile0=a.c\nfile1=b.c\n[calls]\n0=foo\n"
                "1=bar\n[modules]\ndot=mod.dot\nmod_0=app\nmod_0_file_0=a.c\n");
  for (const auto& [stage, at] :
       {std::pair{kModulesStage, size_t{0}}, std::pair{kCallGraphStage, size_t{1}}}) {
    SCOPED_TRACE(std::string(stage));
    ScanRun run;
    RecordingLog log;
    StoppingObserver observer(stage, at);
    const RunOutcome outcome = run.Run(cfg, log, &observer);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(log.entries.back(), "stopped: no output was written");
    // What the module stage completed before a stop is the writer's to keep or drop.
    for (const char* output : {"calls.dot", "calls.csv"}) {
      struct stat status;
      EXPECT_NE(stat((dir / output).c_str(), &status), 0) << output;
    }
  }
  ScanRun run;
  RecordingLog log;
  StoppingObserver never("", 99);
  EXPECT_FALSE(run.Run(cfg, log, &never).stopped);
  EXPECT_EQ(never.progress, (std::vector<std::string>{"modules 0/2", "modules 1/2", "call graph 0/2",
                                                      "call graph 1/2", "call graph 2/2"}));
  EXPECT_FALSE(ReadFile(dir / "calls.dot").empty());
}

// A C-aware run with modules holds its call graph entries back until the module graph's are
// logged; stopped, it logs only the last of them and counts the others, and keeps its errors.
TEST(ScanRunObserver, AStoppedRunLogsTheLastCallGraphEntriesAndCountsTheRest) {
  TempDir dir;
  std::string cfgText = "[scan]\nsyntax=c\n[files]\ndot=calls.dot\nfile0=gone.c\n";
  constexpr int kFiles = 600;
  for (int k = 0; k < kFiles; ++k) {
    const std::string name = "f" + std::to_string(k);
    dir.Write(name + ".c", "int " + name + "(void)\n{\n  g();\n  h();\n}\n");
    cfgText += "file" + std::to_string(k + 1) + "=" + name + ".c\n";
  }
  cfgText += "[calls]\n0=*\n[modules]\ndot=mod.dot\nmod_0=app\nmod_0_file_0=f0.c\n";
  const std::string cfg = dir.Write("scan.cfg", cfgText);
  constexpr size_t kStopAt = 500;
  ScanRun run;
  RecordingLog log;
  StoppingObserver observer(kCallGraphStage, kStopAt);
  EXPECT_TRUE(run.Run(cfg, log, &observer).stopped);
  ASSERT_FALSE(log.entries.empty());
  EXPECT_EQ(log.entries.back(), "stopped: no output was written");
  const auto has = [&log](std::string_view part) {
    return std::any_of(log.entries.begin(), log.entries.end(),
                       [part](const std::string& entry) { return entry.find(part) != std::string::npos; });
  };
  EXPECT_TRUE(has("entries of the call graph scan left out: the run was stopped"));
  EXPECT_TRUE(has("error opening: " + (dir / "gone.c")));
  EXPECT_TRUE(has("IN[" + std::to_string(kStopAt - 1) + "]"));
  EXPECT_FALSE(has("IN[" + std::to_string(kStopAt) + "]"));
  EXPECT_FALSE(has("IN[1]:"));
  EXPECT_LT(log.entries.size(), size_t{1100});
}

}  // namespace
}  // namespace quillmap
