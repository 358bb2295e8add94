#include "modgraph/module_view.h"

#include <tuple>

#include "modgraph/modgraph_test_fixture.h"
#include "modgraph/module_graph_output.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;

// A definition found in a source and the calls of its body (callee, line).
struct Body {
  std::string name;
  std::vector<std::pair<std::string, int>> calls;
};

// Three modules of one or two files. `send` is defined in two modules (each call of it links
// both), `helper` twice in one module, `local` only where it is called, and `app.c` calls
// `send` twice in one body.
const std::vector<std::pair<std::string, std::vector<Body>>> kSources = {
    {"app.c", {{"main", {{"send", 3}, {"init", 4}, {"send", 5}, {"local", 6}}}, {"local", {}}}},
    {"app2.c", {{"tick", {{"helper", 2}, {"printf", 3}}}}},
    {"net.c", {{"send", {{"helper", 9}}}, {"init", {{"log_msg", 12}}}}},
    {"util.c", {{"helper", {}}, {"helper", {}}, {"send", {{"main", 20}}}, {"log_msg", {}}}},
};

class ModuleViewTest : public ModuleGraphTest {
 protected:
  // Reads the three modules, with or without a module log, and runs the view on the sources.
  // With `shared`, the sources intern their names there, beside the call graph's own names.
  void Scan(bool withLog, NameTable* shared = nullptr) {
    WriteConfig(std::string(withLog ? "log=mod.log\n" : "") +
                "dot=mod.dot\n"
                "mod_0=app\nmod_0_file_0=app.c\nmod_0_file_1=app2.c\n"
                "mod_1=net\nmod_1_file_0=net.c\n"
                "mod_2=util\nmod_2_file_0=util.c\n");
    ASSERT_EQ(Read(), 3);
    ModuleSources sources;
    if (shared != nullptr) sources.ShareNames(*shared);
    sources.KeepHeaders(withLog);
    for (const auto& [file, bodies] : kSources) {
      const std::string path = Path(file);
      sources.Want(path);
      sources.BeginSource(path, true, false);
      for (const Body& body : bodies) {
        sources.AddDefinition(body.name, body.name + "(void)");
        for (const auto& [callee, line] : body.calls) sources.AddCall(callee, line);
      }
      sources.EndSource();
    }
    if (shared != nullptr) {
      for (int n = 0; n < 5000; ++n) shared->Intern("later_" + std::to_string(n));
    }
    ModuleSourcesView view(sources);
    ASSERT_EQ(ScanModules(context, *table, view), 3);
  }
};

TEST_F(ModuleViewTest, FindsTheSameEdgesInTheSameOrderWithAndWithoutAModuleLog) {
  Scan(true);
  const StringList loggedEdges = EdgeLines(*table);
  std::vector<std::tuple<int, int, std::string, std::string, int>> loggedCalls;
  for (const auto& call : table->calls) {
    loggedCalls.emplace_back(call.fromModule, call.toModule, table->calls.CallerOf(call),
                             table->calls.CalleeOf(call), call.line);
  }
  std::vector<StringList> loggedLinks;
  for (int k = 0; k < 3; ++k) loggedLinks.push_back(table->modules[k].linkedFunctions);
  const std::vector<std::string> loggedEntries = log.entries;

  // What the calls link, as the pairs of modules meet them (from app, from net, from util).
  EXPECT_THAT(loggedCalls,
              ElementsAre(std::tuple(0, 1, "main", "send", 3), std::tuple(0, 1, "main", "init", 4),
                          std::tuple(0, 2, "main", "send", 3), std::tuple(0, 2, "tick", "helper", 2),
                          std::tuple(1, 2, "send", "helper", 9),
                          std::tuple(1, 2, "init", "log_msg", 12),
                          std::tuple(2, 0, "send", "main", 20)));
  EXPECT_THAT(loggedLinks[0], ElementsAre("main", "tick"));
  EXPECT_THAT(loggedLinks[1], ElementsAre("send", "init"));
  EXPECT_THAT(loggedLinks[2], ElementsAre("send", "helper", "log_msg"));
  EXPECT_THAT(LogLines(), ::testing::Contains("  - util:helper"));

  table = std::make_unique<ModuleTable>();
  log.entries.clear();
  Scan(false);
  EXPECT_EQ(EdgeLines(*table), loggedEdges);
  std::vector<std::tuple<int, int, std::string, std::string, int>> calls;
  for (const auto& call : table->calls) {
    calls.emplace_back(call.fromModule, call.toModule, table->calls.CallerOf(call),
                       table->calls.CalleeOf(call), call.line);
  }
  EXPECT_EQ(calls, loggedCalls);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(table->modules[k].linkedFunctions, loggedLinks[k]) << k;
  EXPECT_EQ(log.entries, loggedEntries);
}

TEST_F(ModuleViewTest, NamesSharedWithTheCallGraphsTableGiveTheSameGraphAndLog) {
  for (const bool withLog : {true, false}) {
    table = std::make_unique<ModuleTable>();
    log.entries.clear();
    Scan(withLog);
    const StringList edges = EdgeLines(*table);
    const std::vector<std::string> entries = log.entries;

    table = std::make_unique<ModuleTable>();
    log.entries.clear();
    NameTable shared;
    for (const char* name : {"other", "log_msg", "x", "send"}) shared.Intern(name);
    Scan(withLog, &shared);
    EXPECT_EQ(EdgeLines(*table), edges) << withLog;
    EXPECT_EQ(log.entries, entries) << withLog;
    EXPECT_THAT(table->modules[2].definedFunctions,
                ElementsAre("helper", "helper", "send", "log_msg"));
  }
}

}  // namespace
}  // namespace quillmap::testing
