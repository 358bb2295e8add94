#include "dialog/reach_list.h"

#include <gtest/gtest.h>

#include "reach/reach_test_model.h"

namespace quillmap {
namespace {

// Every row as "depth|function|defined at|call|kind".
std::vector<std::string> Rows(const ReachList& list) {
  std::vector<std::string> rows;
  for (size_t row = 0; row < list.rows(); ++row) {
    std::string text;
    for (size_t column = 0; column < std::size(kReachColumnTitles); ++column) {
      text += (column == 0 ? "" : "|") + list.CellText(row, static_cast<ReachColumn>(column));
    }
    rows.push_back(text);
  }
  return rows;
}

// Lines: isr.c 1 isr_uart, 2 its call of log_event, 3 of rx, 4 rx, 5 its call of fifo_put;
// log.c 6 log_event, 7 vsnprintf called, 8 fifo_put, 9 log_event called, 10 unused, 11 its
// call; app.c 12 main, 13 its call.
constexpr const char* kModel =
    "isr.c: isr_uart -> log_event rx; rx -> fifo_put\n"
    "log.c: log_event -> vsnprintf; fifo_put -> log_event; static unused -> log_event\n"
    "app.c: main -> log_event";

TEST(ReachList, AnswersEveryQueryWithDepthsSitesAndKinds) {
  const CallGraphModel model = BuildTestModel(kModel);
  const CallReachGraph graph(model);
  struct Case {
    ReachQuery query;
    std::vector<std::string> deadEntries;
    std::string heading;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {{ReachQueryKind::kReaches, "rx", ""},
       {},
       "what rx reaches: 3 functions",
       {"0|rx|isr.c:4||", "1|fifo_put|log.c:8|from rx at isr.c:5|direct",
        "2|log_event|log.c:6|from fifo_put at log.c:9|direct",
        "3|vsnprintf||from log_event at log.c:7|direct"}},
      // Against the calls: each row calls the row it was reached from.
      {{ReachQueryKind::kReachedBy, "fifo_put", ""},
       {},
       "what reaches fifo_put: 2 functions",
       {"0|fifo_put|log.c:8||", "1|rx|isr.c:4|calls fifo_put at isr.c:5|direct",
        "2|isr_uart|isr.c:1|calls rx at isr.c:3|direct"}},
      {{ReachQueryKind::kWhy, "vsnprintf", "isr_uart"},
       {},
       "why vsnprintf is reachable from isr_uart: 2 calls",
       {"0|isr_uart|isr.c:1||", "1|log_event|log.c:6|from isr_uart at isr.c:2|direct",
        "2|vsnprintf||from log_event at log.c:7|direct"}},
      // A function is reachable from itself by no call at all.
      {{ReachQueryKind::kWhy, "rx", "rx"},
       {},
       "why rx is reachable from rx: 0 calls",
       {"0|rx|isr.c:4||"}},
      {{ReachQueryKind::kWhy, "isr_uart", "main"}, {}, "not reachable: main -> isr_uart", {}},
      {{ReachQueryKind::kWhy, "isr_uart", "nobody"}, {}, "unknown name: nobody", {}},
      {{ReachQueryKind::kReaches, "nothing*", ""}, {}, "unknown name: nothing*", {}},
      {{ReachQueryKind::kDead, "", ""},
       {},
       "dead functions: 4 that no entry reaches (main)",
       {"|isr_uart|isr.c:1||", "|rx|isr.c:4||", "|fifo_put|log.c:8||", "|unused|log.c:10||"}},
      // "[rules] entry" patterns count as entries; one that matches nothing reaches nothing.
      {{ReachQueryKind::kDead, "", ""},
       {"isr_*", "no_such_*"},
       "dead functions: 1 that no entry reaches (main, isr_*, no_such_*)",
       {"|unused|log.c:10||"}},
  };
  for (const Case& c : cases) {
    const ReachList list(graph, c.query, c.deadEntries);
    EXPECT_EQ(list.heading(), c.heading);
    EXPECT_EQ(list.failed(), c.heading.starts_with(kUnknownName)) << c.heading;
    EXPECT_EQ(Rows(list), c.rows) << c.heading;
    EXPECT_EQ(list.CellText(list.rows(), ReachColumn::kFunction), "");
  }
}

TEST(ReachList, RowsLeadToTheirCallInAChainElseToTheDefinition) {
  const CallGraphModel model = BuildTestModel(kModel);
  const CallReachGraph graph(model);
  const ReachList why(graph, {ReachQueryKind::kWhy, "vsnprintf", "isr_uart"}, {});
  EXPECT_EQ(why.SiteOf(0), (SourceSite{"isr.c", 1}));
  EXPECT_EQ(why.SiteOf(1), (SourceSite{"isr.c", 2}));
  EXPECT_EQ(why.SiteOf(2), (SourceSite{"log.c", 7}));
  EXPECT_EQ(why.SiteOf(3), std::nullopt);
  EXPECT_EQ(why.NameAt(1), "log_event");
  const ReachList reaches(graph, {ReachQueryKind::kReaches, "rx", ""}, {});
  EXPECT_EQ(reaches.SiteOf(1), (SourceSite{"log.c", 8}));
  // A library function has no definition: its row leads to the call that reached it.
  EXPECT_EQ(reaches.SiteOf(3), (SourceSite{"log.c", 7}));
  EXPECT_EQ(reaches.NameAt(3), "vsnprintf");
  EXPECT_EQ(ReachList(kNoRunToAsk).heading(), kNoRunToAsk);
  EXPECT_TRUE(ReachList(kNoRunToAsk).failed());
}

// A function of the list is asked about by a name that matches it alone.
TEST(ReachList, ANamesakeIsAskedAboutWithItsFile) {
  const CallGraphModel model =
      BuildTestModel("a.c: static helper -> a_only; main -> helper\nb.c: static helper -> b_only");
  const FunctionIndex index(model);
  EXPECT_EQ(ReachNameOf(index, 1), "main");
  EXPECT_EQ(ReachNameOf(index, 2), "helper@b.c");
  const CallReachGraph graph(model);
  EXPECT_EQ(
      Rows(ReachList(graph, {ReachQueryKind::kReaches, ReachNameOf(index, 2), ""}, {})),
      (std::vector<std::string>{"0|helper|b.c:5||", "1|b_only||from helper at b.c:6|direct"}));
  const CallGraphModel resolved = BuildResolvedTestModel("a.c: helper\nb.c: helper");
  EXPECT_EQ(ReachNameOf(FunctionIndex(resolved), 1), "helper");
}

// In the resolved mode chains go through function pointers, which say through what, and a
// function registered for a pointer is not dead.
TEST(ReachList, ResolvedCallsThroughPointersShowTheirDispatch) {
  const CallGraphModel model = BuildResolvedTestModel(
      "drv.c: static uart_write -> printf; isr_tx -> o->write=uart_write; static orphan");
  const CallReachGraph graph(model);
  EXPECT_EQ(
      Rows(ReachList(graph, {ReachQueryKind::kWhy, "printf", "isr_tx"}, {})),
      (std::vector<std::string>{"0|isr_tx|drv.c:3||",
                                "1|uart_write|drv.c:1|from isr_tx at drv.c:4|pointer via o->write",
                                "2|printf||from uart_write at drv.c:2|direct"}));
  EXPECT_EQ(Rows(ReachList(graph, {ReachQueryKind::kDead, "", ""}, {})),
            (std::vector<std::string>{"|isr_tx|drv.c:3||", "|orphan|drv.c:5||"}));
}

// A chain through 100,000 functions is listed whole, a row for each step.
TEST(ReachList, AGeneratedChainOfAHundredThousandFunctionsIsListedWhole) {
  CallGraphModel model;
  model.sources.push_back({"gen.c", true, ""});
  constexpr int kFunctions = 100000;
  for (int f = 0; f < kFunctions; ++f) {
    model.AddFunction("f" + std::to_string(f), "void f(void)", 0, f, f + 1);
    if (f + 1 < kFunctions) model.AddCall("", "f" + std::to_string(f + 1), 0, {}, f + 2);
  }
  const CallReachGraph graph(model);
  const ReachList why(graph, {ReachQueryKind::kWhy, "f99999", "f0"}, {});
  ASSERT_EQ(why.rows(), static_cast<size_t>(kFunctions));
  EXPECT_EQ(why.CellText(kFunctions - 1, ReachColumn::kStep), "from f99998 at gen.c:100000");
  const ReachList callers(graph, {ReachQueryKind::kReachedBy, "f99999", ""}, {});
  EXPECT_EQ(callers.heading(), "what reaches f99999: 99999 functions");
  EXPECT_EQ(callers.CellText(kFunctions - 1, ReachColumn::kDepth), "99999");
}

}  // namespace
}  // namespace quillmap
