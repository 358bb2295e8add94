#include "query/graph_query.h"

#include <gtest/gtest.h>

#include "query/model_query.h"

namespace quillmap {
namespace {

// A call graph from "caller>callee" texts, each caller's calls together; every caller is a
// defined function, and "s" is defined twice (two static functions of one name). Plain names
// without '>' are functions that call nothing.
CallGraphModel Model(const std::vector<std::string>& calls) {
  CallGraphModel model;
  for (const std::string& text : calls) {
    const size_t arrow = text.find('>');
    const std::string caller = text.substr(0, arrow);
    if (model.functions.empty() || caller == "s" || arrow == std::string::npos ||
        model.NameOf(model.functions.back().name) != caller) {
      model.AddFunction(caller, "", 0, 0, 0);
    }
    if (arrow == std::string::npos) continue;
    const std::string callee = text.substr(arrow + 1);
    model.AddCall(callee, callee, 0, {}, 0);
  }
  return model;
}

// What the selection shows: the kept functions and calls, then the cut marks' labels.
std::string Shown(const CallGraphModel& model, const GraphSelection& selection) {
  if (!selection.error.empty()) return "error: " + selection.error;
  std::string shown;
  for (size_t i = 0; i < model.functions.size(); ++i) {
    if (selection.keepNode[i]) shown.append(model.NameOf(model.functions[i].name)).append(" ");
  }
  shown += "|";
  for (const FunctionRecord& function : model.functions) {
    for (const uint32_t c : model.CallsOf(function)) {
      if (!selection.keepCall[c]) continue;
      shown.append(" ").append(model.NameOf(function.name));
      shown.append(">").append(model.NameOf(model.calls[c].callee));
    }
  }
  for (const std::string& line : selection.cutMarkLines) {
    const size_t label = line.find("label=");
    if (label != std::string::npos)
      shown += " [" + line.substr(label + 7, line.find('"', label + 7) - label - 7) + "]";
  }
  return shown;
}

// main calls init and loop; loop calls a cycle a>b>a and the self-call b>b; log is a
// printk-like helper called from everywhere; s is defined twice.
const std::vector<std::string> kGraph = {
    "main>init", "main>loop", "init>log_printk", "loop>a", "a>b", "a>log_printk", "b>a", "b>b",
    "s>x",       "s>y",       "x>log_printk",    "y>z",    "z",   "lone"};

TEST(SelectCallGraph, QueriesKeepWhatTheyName) {
  struct Case {
    QueryOptionTexts options;
    std::string shown;
  };
  const Case cases[] = {
      // No query: the whole graph.
      {{},
       "main init loop a b s s x y z lone | main>init main>loop init>log_printk loop>a a>b "
       "a>log_printk "
       "b>a b>b s>x s>y x>log_printk y>z"},
      {{{"focus", "loop"}}, "loop a b | loop>a a>b a>log_printk b>a b>b"},
      {{{"focus", "loop"}, {"depth", "0"}}, "loop |"},
      {{{"focus", "main"}, {"depth", "2"}},
       "main init loop a | main>init main>loop init>log_printk loop>a"},
      {{{"focus", "b"}, {"direction", "callers"}}, "main loop a b | main>loop loop>a a>b b>a b>b"},
      {{{"focus", "a"}, {"direction", "both"}, {"depth", "1"}},
       "loop a b | loop>a a>b a>log_printk b>a"},
      // Both definitions of a name are roots.
      {{{"focus", "s"}}, "s s x y z | s>x s>y x>log_printk y>z"},
      {{{"focus", "main"}, {"omit", "*printk*, init"}},
       "main loop a b | main>loop loop>a a>b b>a b>b"},
      {{{"focus", "main"}, {"leaf", "lo?p"}},
       "main init loop | main>init main>loop init>log_printk"},
      // Without focus: only the names left out or not expanded change.
      {{{"omit", "log_*"}, {"leaf", "a"}},
       "main init loop a b s s x y z lone | main>init main>loop loop>a b>a b>b s>x s>y y>z"},
      {{{"path", "main,b"}}, "main loop a b | main>loop loop>a a>b b>a b>b"},
      {{{"path", "main, log_printk"}, {"omit", "init"}},
       "main loop a b | main>loop loop>a a>b a>log_printk b>a b>b"},
      {{{"path", "main,log_printk"}, {"leaf", "a"}}, "main init | main>init init>log_printk"},
      {{{"path", "a,a"}}, "a b | a>b b>a b>b"},
      {{{"path", "s,main"}}, "|"},
      {{{"focus", "init"}, {"omit", "init"}}, "|"},
      // The cap: breadth-first from the focus, each cut place marked.
      {{{"focus", "main"}, {"max_nodes", "3"}},
       "main init loop | main>init main>loop [1 more, cut by max_nodes] [1 more, cut by "
       "max_nodes]"},
      {{{"focus", "main"}, {"max_nodes", "100"}},
       "main init loop a b | main>init main>loop init>log_printk loop>a a>b a>log_printk b>a b>b"},
      {{{"focus", "mian"}}, "error: unknown name: mian (closest: main, a, b)"},
      {{{"path", "main,lgo_printk"}},
       "error: unknown name: lgo_printk (closest: log_printk, lone, loop)"},
  };
  const CallGraphModel model = Model(kGraph);
  for (const Case& c : cases) {
    std::string options;
    for (const auto& [name, value] : c.options) options += name + "=" + value + " ";
    SCOPED_TRACE(options);
    const GraphQueryResult query = ParseGraphQuery(c.options);
    ASSERT_EQ(query.error, "");
    const GraphSelection selection = SelectCallGraph(model, query.query);
    EXPECT_EQ(Shown(model, selection), c.shown);
    // A query that leaves no function says so; every other leaves no note.
    EXPECT_EQ(selection.emptyNote.empty(), c.shown.rfind("|", 0) != 0);
  }
}

TEST(ParseGraphQuery, BadValuesAreClearErrors) {
  struct Case {
    QueryOptionTexts options;
    std::string error;
  };
  const Case cases[] = {
      {{{"depth", "-1"}}, "bad depth: -1 (a whole number from 0 expected)"},
      {{{"depth", "two"}}, "bad depth: two (a whole number from 0 expected)"},
      {{{"depth", "2x"}}, "bad depth: 2x (a whole number from 0 expected)"},
      {{{"max_nodes", "0"}}, "bad max_nodes: 0 (a whole number from 1 expected)"},
      {{{"max_nodes", "99999999999"}},
       "bad max_nodes: 99999999999 (a whole number from 1 expected)"},
      {{{"direction", "up"}}, "bad direction: up (callees, callers or both expected)"},
      {{{"path", "main"}}, "bad path: main (two names A,B expected)"},
      {{{"path", "a,b,c"}}, "bad path: a,b,c (two names A,B expected)"},
      {{{"depth", " 3 "}, {"direction", "both"}, {"focus", ""}}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseGraphQuery(c.options).error, c.error);
  }
  // Options that only shape a focus leave the graph whole without one.
  EXPECT_FALSE(ParseGraphQuery({{"depth", "1"}, {"max_nodes", "5"}}).query.active());
}

TEST(SelectModuleGraph, FocusOnModuleNames) {
  ModuleModel model;
  for (const char* name : {"app", "comm", "drivers", "tools"})
    model.modules.push_back({name, {}, {}});
  for (auto [from, to] : {std::pair{0, 1}, {1, 2}, {2, 1}, {3, 2}}) {
    model.calls.Add({from, to, "f", "g", "f.c", 1});
  }
  GraphQuery query;
  query.focus = {"comm"};
  query.direction = QueryDirection::kCallers;
  query.depth = 1;
  const GraphSelection selection = SelectModuleGraph(model, query);
  EXPECT_EQ(selection.keepNode, (std::vector<char>{1, 1, 1, 0}));
  EXPECT_EQ(selection.keepCall, (std::vector<char>{1, 0, 1, 0}));
  query.focus = {"com"};
  EXPECT_EQ(SelectModuleGraph(model, query).error, "unknown name: com (closest: comm, app, tools)");
}

}  // namespace
}  // namespace quillmap

namespace quillmap {
namespace {

TEST(SelectCallGraph, APlainNameFindsTheHeaderTextsThatEndInIt) {
  const CallGraphModel model = Model({"uint32_t init>a", "static void *init>b", "a>init_all"});
  GraphQuery query;
  query.focus = {"init"};
  query.depth = 1;
  EXPECT_EQ(Shown(model, SelectCallGraph(model, query)),
            "uint32_t init static void *init a | uint32_t init>a static void *init>b");
  query.focus = {"a"};  // an exact name wins
  EXPECT_EQ(Shown(model, SelectCallGraph(model, query)), "a | a>init_all");
}

}  // namespace
}  // namespace quillmap
