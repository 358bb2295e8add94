#include "reach/call_reach.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "reach/reach_report.h"
#include "reach/reach_test_model.h"

namespace quillmap {
namespace {

std::string Reached(const CallReachGraph& graph, const std::vector<ReachedNode>& reached) {
  std::string text;
  for (const ReachedNode& node : reached) {
    text += (text.empty() ? "" : " ") + std::string(graph.NameOf(node.node)) + ":" +
            std::to_string(node.depth);
  }
  return text;
}

// Cyclic graphs, self-calls, library names, static namesakes and roots that reach nothing.
TEST(CallReach, ReachFollowsCallsOrCallersToTheShortestDepth) {
  struct Case {
    const char* model;
    const char* root;
    bool callers;
    int maxDepth;
    const char* reached;
  };
  const Case cases[] = {
      {"a.c: main -> init run; run -> step; step -> run", "main", false, -1,
       "main:0 init:1 run:1 step:2"},
      {"a.c: main -> init run; run -> step; step -> run", "run", true, -1, "run:0 main:1 step:1"},
      {"a.c: f -> f", "f", false, -1, "f:0"},
      {"a.c: f -> malloc g; g -> malloc", "f", false, -1, "f:0 malloc:1 g:1"},
      {"a.c: f -> g; g -> h; h -> i", "f", false, 2, "f:0 g:1 h:2"},
      {"a.c: lonely; other -> lonely", "lonely", false, -1, "lonely:0"},
      // b.c's call of helper is its own static helper's; c.c has none and may mean either.
      {"a.c: static helper -> a_only\nb.c: static helper -> b_only; b -> helper\n"
       "c.c: c -> helper",
       "b", false, -1, "b:0 helper:1 b_only:2"},
      {"a.c: static helper -> a_only\nb.c: static helper -> b_only\nc.c: c -> helper", "c", false,
       -1, "c:0 helper:1 helper:1 a_only:2 b_only:2"},
      {"a.c: x -> y", "nothing*", false, -1, ""},
      {"a.c: static helper -> a_only\nb.c: static helper -> b_only", "helper@b.c", false, -1,
       "helper:0 b_only:1"},
  };
  for (const Case& c : cases) {
    const CallGraphModel model = BuildTestModel(c.model);
    const CallReachGraph graph(model);
    EXPECT_EQ(Reached(graph, Reach(graph, graph.Match({c.root}), c.callers, c.maxDepth)), c.reached)
        << c.model << " from " << c.root;
  }
}

TEST(CallReach, WhyGivesTheShortestChainWithCallSitesOrNotReachable) {
  const CallGraphModel model = BuildTestModel(
      "isr.c: isr_uart -> log_event rx; rx -> fifo_put\n"
      "log.c: log_event -> vsnprintf; fifo_put -> log_event");
  const CallReachGraph graph(model);
  const ReachAnswer chain = AnswerWhy(graph, "isr_uart", "vsnprintf", ReachFormat::kCsv, "");
  EXPECT_EQ(chain.text,
            "step,caller,callee,file,line,kind,via\n"
            "1,isr_uart,log_event,isr.c,2,direct,\n"
            "2,log_event,vsnprintf,log.c,7,direct,\n");
  EXPECT_EQ(AnswerWhy(graph, "vsnprintf", "isr_uart", ReachFormat::kCsv, "").text,
            "not reachable: vsnprintf -> isr_uart\n");
  EXPECT_EQ(AnswerWhy(graph, "nobody", "isr_uart", ReachFormat::kCsv, "").error,
            "unknown name: nobody");
  const auto json =
      nlohmann::json::parse(AnswerWhy(graph, "isr_uart", "fifo_put", ReachFormat::kJson, "").text);
  EXPECT_TRUE(json["reachable"].get<bool>());
  ASSERT_EQ(json["chain"].size(), 2u);
  EXPECT_EQ(json["chain"][1]["callee"], "fifo_put");
}

TEST(CallReach, DeadFunctionsAreThoseNoEntryReaches) {
  const CallGraphModel model = BuildTestModel(
      "a.c: main -> used; used -> lib_call; static unused -> used; Uart_IRQHandler -> isr_work\n"
      "b.c: api_open -> static_helper; static static_helper; static orphan; isr_work");
  const CallReachGraph graph(model);
  const auto dead = [&](std::vector<std::string> entries, bool external) {
    std::string names;
    const ReachAnswer answer =
        AnswerDead(graph, {std::move(entries), external}, ReachFormat::kCsv, "");
    std::istringstream lines(answer.text);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) names += line.substr(0, line.find(',')) + " ";
    return names;
  };
  EXPECT_EQ(dead({}, false), "unused Uart_IRQHandler api_open static_helper orphan isr_work ");
  EXPECT_EQ(dead({"*_IRQHandler"}, false), "unused api_open static_helper orphan ");
  // With every external function an entry only unreached static functions are left.
  EXPECT_EQ(dead({}, true), "unused orphan ");
}

// A generated tree of 100,000 functions in one chain, and a fan-out: the searches are iterative
// and linear.
TEST(CallReach, LargeGeneratedGraphsAreSearchedWhole) {
  CallGraphModel model;
  model.sources.push_back({"gen.c", true, ""});
  constexpr int kFunctions = 100000;
  for (int f = 0; f < kFunctions; ++f) {
    model.AddFunction("f" + std::to_string(f), "void f(void)", 0, f, f + 1);
    if (f + 1 < kFunctions) model.AddCall("", "f" + std::to_string(f + 1), 0, {}, f + 1);
    if (f % 1000 == 0) model.AddCall("", "f0", 0, {}, f + 1);
  }
  const CallReachGraph graph(model);
  const std::vector<ReachedNode> reached = Reach(graph, graph.Match({"f0"}), false);
  ASSERT_EQ(reached.size(), static_cast<size_t>(kFunctions));
  EXPECT_EQ(reached.back().depth, kFunctions - 1);
  EXPECT_EQ(ChainTo(graph, IndexReach(graph, reached).edgeByNode, reached.back().node).size(),
            static_cast<size_t>(kFunctions - 1));
  EXPECT_TRUE(UnreachedFunctions(graph, graph.Match({"f0"})).empty());
  EXPECT_EQ(UnreachedFunctions(graph, graph.Match({"f99999"})).size(),
            static_cast<size_t>(kFunctions - 1));
}

}  // namespace
}  // namespace quillmap
