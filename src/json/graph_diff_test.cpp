// The difference of two exports: which functions and calls count as the same, which appeared
// and which disappeared (static functions of one name told apart by file), and every way an
// export can be unusable.
#include "json/graph_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using nlohmann::json;

// An export from short descriptions: functions "name@file", calls "caller@file>callee:text".
std::string Export(const std::vector<std::string>& functions,
                   const std::vector<std::string>& calls) {
  json document = {{"version", 1}, {"functions", json::array()}, {"calls", json::array()}};
  for (const std::string& function : functions) {
    const size_t at = function.find('@');
    document["functions"].push_back({{"name", function.substr(0, at)},
                                     {"header", "int " + function.substr(0, at) + "(void)"},
                                     {"file", function.substr(at + 1)},
                                     {"line", 3}});
  }
  for (const std::string& call : calls) {
    const size_t at = call.find('@'), arrow = call.find('>'), colon = call.find(':');
    document["calls"].push_back({{"caller", call.substr(0, at)},
                                 {"file", call.substr(at + 1, arrow - at - 1)},
                                 {"callee", call.substr(arrow + 1, colon - arrow - 1)},
                                 {"callText", call.substr(colon + 1)},
                                 {"arguments", json::array({"x"})}});
  }
  return document.dump();
}

// The difference as sorted lines: '+' appeared, '-' disappeared, '=' in both; a node is its
// name, "@file" when told apart by file and "?" when no export defines it.
std::vector<std::string> Describe(const GraphDiff& diff) {
  const auto mark = [](DiffState state) {
    return std::string(state == DiffState::kAdded ? "+" : state == DiffState::kRemoved ? "-" : "=");
  };
  const auto node = [&](int32_t index) {
    const DiffNode& n = diff.nodes[static_cast<size_t>(index)];
    std::string text = n.name;
    if (!n.file.empty()) text += "@" + n.file;
    if (!n.defined) text += "?";
    return text;
  };
  std::vector<std::string> lines;
  for (size_t i = 0; i < diff.nodes.size(); ++i) {
    lines.push_back(mark(diff.nodes[i].state) + node(static_cast<int32_t>(i)));
  }
  for (const DiffEdge& edge : diff.edges) {
    lines.push_back(mark(edge.state) + node(edge.from) + " -> " + node(edge.to) + " " +
                    std::string(edge.callText));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

struct DiffCase {
  const char* what;
  std::string older, newer;
  std::vector<std::string> expected;
};

TEST(GraphDiffTest, DiffGraphs_MarksWhatAppearedAndDisappeared) {
  const std::vector<DiffCase> cases = {
      {"nothing changed",
       Export({"main@a.c", "run@a.c"}, {"main@a.c>run:run()"}),
       Export({"main@a.c", "run@a.c"}, {"main@a.c>run:run()"}),
       {"=main", "=main -> run run()", "=run"}},
      {"a function and its call appear",
       Export({"main@a.c"}, {}),
       Export({"main@a.c", "run@a.c"}, {"main@a.c>run:run()"}),
       {"+main -> run run()", "+run", "=main"}},
      {"a function and its call go",
       Export({"main@a.c", "run@a.c"}, {"main@a.c>run:run()"}),
       Export({"main@a.c"}, {}),
       {"-main -> run run()", "-run", "=main"}},
      {"another argument is another call",
       Export({"main@a.c"}, {"main@a.c>log:log(1)"}),
       Export({"main@a.c"}, {"main@a.c>log:log(2)"}),
       {"+main -> log? log(2)", "-main -> log? log(1)", "=log?", "=main"}},
      {"a name defined once is the same function in another file",
       Export({"main@a.c", "run@a.c"}, {"main@a.c>run:run()"}),
       Export({"main@a.c", "run@b.c"}, {"main@a.c>run:run()"}),
       {"=main", "=main -> run run()", "=run"}},
      {"static functions of one name are told apart by file; a call means the caller's file's",
       Export({"init@a.c", "init@b.c", "main@a.c"}, {"main@a.c>init:init()"}),
       Export({"init@a.c", "main@a.c"}, {"main@a.c>init:init()"}),
       {"-init@b.c", "=init@a.c", "=main", "=main -> init@a.c init()"}},
      {"a name defined twice but not in the caller's file stays unresolved",
       Export({"init@a.c", "init@b.c", "main@c.c"}, {"main@c.c>init:init()"}),
       Export({"init@a.c", "init@b.c", "main@c.c"}, {"main@c.c>init:init()"}),
       {"=init?", "=init@a.c", "=init@b.c", "=main", "=main -> init? init()"}},
      {"a called name that no export defines comes and goes with its calls",
       Export({"main@a.c"}, {"main@a.c>puts:puts()"}),
       Export({"main@a.c"}, {"main@a.c>printf:printf()"}),
       {"+main -> printf? printf()", "+printf?", "-main -> puts? puts()", "-puts?", "=main"}},
      {"a definition that goes is red even while it is still called",
       Export({"main@a.c", "run@a.c"}, {"main@a.c>run:run()"}),
       Export({"main@a.c"}, {"main@a.c>run:run()"}),
       {"-run", "=main", "=main -> run run()"}},
      {"exports of two checkouts compare below the folder that holds all their files",
       Export({"init@/w/old/a.c", "init@/w/old/lib/b.c"}, {"init@/w/old/a.c>f:f()"}),
       Export({"init@/x/new/a.c", "init@/x/new/lib/b.c"}, {"init@/x/new/a.c>f:f()"}),
       {"=f?", "=init@a.c", "=init@a.c -> f? f()", "=init@lib/b.c"}},
      {"empty exports", Export({}, {}), Export({}, {}), {}},
  };
  for (const DiffCase& c : cases) {
    const ExportReading older = ParseGraphExport(c.older, "old.json");
    const ExportReading newer = ParseGraphExport(c.newer, "new.json");
    ASSERT_EQ(older.error + newer.error, "") << c.what;
    EXPECT_EQ(Describe(DiffGraphs(older.graph, newer.graph)), c.expected) << c.what;
  }
}

TEST(GraphDiffTest, ParseGraphExport_NamesWhatMakesAnExportUnusable) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"version":1,)", "x.json: not valid JSON: parse error at line 1, column 14"},
      {"", "x.json: not valid JSON: "},
      {"[]", "x.json: not a graph export: the document is not an object"},
      {R"({"functions":[],"calls":[]})", "x.json: not a graph export: version is missing"},
      {R"({"version":2,"functions":[],"calls":[]})",
       "x.json: export version 2, this program reads version 1"},
      {R"({"version":"1","functions":[],"calls":[]})",
       "x.json: export version \"1\", this program reads version 1"},
      {R"({"version":1,"calls":[]})", "x.json: not a graph export: functions is missing"},
      {R"({"version":1,"functions":{},"calls":[]})",
       "x.json: not a graph export: functions is not a list"},
      {R"({"version":1,"functions":[]})", "x.json: not a graph export: calls is missing"},
      {R"({"version":1,"functions":[3],"calls":[]})",
       "x.json: not a graph export: functions[0] is not an object"},
      {R"({"version":1,"functions":[{"file":"a.c"}],"calls":[]})",
       "x.json: not a graph export: functions[0].name is missing"},
      {"3", "x.json: not a graph export: the document is not an object"},
      {R"({"version":1,"functions":[{"name":["f"],"file":"a.c"}],"calls":[]})",
       "x.json: not a graph export: functions[0].name is not a string"},
      {R"({"version":1,"functions":[{"name":"f","file":7}],"calls":[]})",
       "x.json: not a graph export: functions[0].file is not a string"},
      {R"j({"version":1,"functions":[],"calls":[{"caller":"f","file":null,"callee":1,"callText":"g()"}]})j",
       "x.json: not a graph export: calls[0].callee is not a string"},
      {R"({"version":1,"functions":[],"calls":[{"caller":"f","file":"a.c","callee":"g"}]})",
       "x.json: not a graph export: calls[0].callText is missing"},
  };
  for (const auto& [text, error] : cases) {
    const ExportReading reading = ParseGraphExport(text, "x.json");
    EXPECT_TRUE(reading.error.starts_with(error)) << text << "\ngives: " << reading.error;
  }
  // A file of no name and a null file are fine; members the difference does not read are skipped.
  const ExportReading fine = ParseGraphExport(
      R"({"version":1,"sources":[{"path":"a.c"}],"functions":[{"name":"f","file":null,)"
      R"("module":{"deep":[1,2]}}],"calls":[],"modules":[{"name":"m"}]})",
      "x.json");
  EXPECT_EQ(fine.error, "");
  ASSERT_EQ(fine.graph.functions.size(), 1u);
  EXPECT_EQ(fine.graph.Text(fine.graph.functions[0].file), "");
}

TEST(GraphDiffTest, ReadGraphExport_ReadsAFileAndSaysWhenThereIsNone) {
  TempDir dir;
  const std::string path = dir.Write("g.json", Export({"f@a.c"}, {"f@a.c>g:g(\"x\")"}));
  const ExportReading reading = ReadGraphExport(path);
  ASSERT_EQ(reading.error, "");
  ASSERT_EQ(reading.graph.calls.size(), 1u);
  EXPECT_EQ(reading.graph.Text(reading.graph.calls[0].callText), "g(\"x\")");
  EXPECT_EQ(reading.graph.Text(reading.graph.calls[0].callerFile), "a.c");
  EXPECT_EQ(ReadGraphExport(dir / "none.json").error, dir / "none.json" + " was not found.");
}

}  // namespace
}  // namespace quillmap::testing
