// End-to-end tests of the module graph: the real program on fixture folders, with exact bytes of
// standard output, the module graph file and the module log.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::RunQuillmap;
using testing::TempDir;

const std::string kStars = std::string(59, '*') + "\r\n";
const std::string kExampleModules =
    "[modules]\nlog=mod.log\ndot=modules.dot\ngraph_cfg0=rankdir=LR\n"
    "mod_0=app\nmod_0_file_0=app.c\nmod_0_dot_clu_0=color=blue;\n"
    "mod_0_dot_node=shape=box\nmod_0_dot_call=[color=red]\n"
    "mod_1=lib\nmod_1_file_0=lib.c\n";
const std::string kAppSource = "int main(void)\r\n{\r\n    init();\r\n}\r\n";
const std::string kLibSource = "int init(void)\r\n{\r\n    return 0;\r\n}\r\n";
// A call graph part that succeeds without writing anything, so that the exit status tells
// whether the module graph reported an error.
const std::string kQuietCallGraph = "[calls]\n0=nothing_matches\n[files]\nfile0=app.c\n";

// The module graph file without its first line, after checking that line's form.
std::string AfterHeader(const std::string& contents) {
  std::string rest;
  EXPECT_TRUE(testing::SplitDotHeader(contents, rest)) << contents.substr(0, 80);
  return rest;
}

class ModuleGraphBatchTest : public ::testing::Test {
 protected:
  testing::ProgramResult Run(const std::string& cfgArgument) {
    return RunQuillmap({"-cfg", cfgArgument}, dir.path());
  }
  std::string WorkPathLine() const { return "work path: " + dir.path() + "\n"; }

  TempDir dir;
  const std::string d = dir.path();
};

TEST_F(ModuleGraphBatchTest, WritesTheExampleModuleGraphAndLogByteForByte) {
  const std::string cfg = dir.Write("scan.cfg", kExampleModules);
  dir.Write("app.c", kAppSource);
  dir.Write("lib.c", kLibSource);
  const auto result = Run(cfg);

  // Without a "calls" list the run ends in the filter error, after the module graph.
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, WorkPathLine() +
                            "scanning calls from app to: lib\n"
                            "scanning calls from lib to: app\n"
                            "done...\n"
                            "error reading scan filters from: " +
                            cfg + "\n");
  EXPECT_EQ(AfterHeader(ReadFile(d + "modules.dot")),
            "digraph callgraph {\r\n"
            "  rankdir=LR;\r\n"
            "  subgraph cluster_app {\r\n"
            "    color=blue;\r\n"
            "    label=\"app\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    //node [label=\"main\", shape=box] app_main;\r\n"
            "    // ***** called from/to fcts\r\n"
            "    node [label=\"main\", shape=box] app_main;\r\n"
            "  }\r\n"
            "  subgraph cluster_lib {\r\n"
            "    label=\"lib\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    //node [label=\"init\"] lib_init;\r\n"
            "    // ***** called from/to fcts\r\n"
            "    node [label=\"init\"] lib_init;\r\n"
            "  }\r\n"
            "  app_main -> lib_init [color=red];\r\n"
            "}\r\n");
  EXPECT_EQ(
      ReadFile(d + "mod.log"),
      "reading CFG from: " + cfg + "\r\n" + kStars + "out file: " + d + "modules.dot\r\n" + kStars +
          "scanning API for\r\napp\r\n" + d + "app.c\r\n int main(void)\r\nlib\r\n" + d +
          "lib.c\r\n int init(void)\r\n" + kStars + "scanning calls from app\r\n to:lib\r\n in:" +
          d + "app.c\r\n -> app:main\r\n  - lib:init\r\n <-\r\n" + kStars +
          "scanning calls from lib\r\n to:app\r\n in:" + d + "lib.c\r\n -> lib:init\r\n <-\r\n");
  testing::ExpectGraphvizAccepts(d + "modules.dot");
}

TEST_F(ModuleGraphBatchTest, ModulesAndCallGraphTogetherSucceed) {
  dir.Write("scan.cfg", kExampleModules + kQuietCallGraph);
  dir.Write("app.c", kAppSource);
  dir.Write("lib.c", kLibSource);
  const auto result = Run("scan.cfg");
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  const std::string modulePart = WorkPathLine() +
                                 "scanning calls from app to: lib\n"
                                 "scanning calls from lib to: app\n"
                                 "done...\n"
                                 "path: " +
                                 d + "\n";
  EXPECT_EQ(result.out.substr(0, modulePart.size()), modulePart);
  EXPECT_EQ(ReadFile(d + "mod.log").substr(0, 30), "reading CFG from: scan.cfg\r\n**");
}

TEST_F(ModuleGraphBatchTest, GraphvizReadsAwkwardNamesAndAttributes) {
  dir.Write("scan.cfg",
            "[modules]\nlog=mod.log\ndot=modules.dot\ngraph_cfg0=rankdir=LR;\n"
            "graph_cfg1=node [fontname=\"Courier\"]\n"
            "mod_0=app main\nmod_0_file_0=src\\app.c\nmod_0_dot_node=shape=box\n"
            "mod_0_dot_call=[color=\"red\"]\nmod_0_dot_clu_0=style=filled;\n"
            "mod_1=str-lib\nmod_1_file_0=lib.c\n"
            "mod_2=say \"hi\"\nmod_2_file_0=empty.c\n"
            "mod_3=node\nmod_3_file_0=node.c\n" +
                kQuietCallGraph);
  dir.Write("src/app.c",
            "static void util(int x)\n{\n    if (x)\n{\n    p = *dup(s);\n}\n"
            "int main(void)\n{\n    graph();\n}\n");
  dir.Write("app.c", "");
  dir.Write("lib.c",
            "char *dup(char *s)\n{\n}\nchar *dup(char *s)\n{\n}\nint q\"uo\\te(void)\n{\n}\n");
  dir.Write("empty.c", "/* no functions */\n");
  dir.Write("node.c", "void graph(void)\n{\n}\n");
  const auto result = Run("scan.cfg");
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(AfterHeader(ReadFile(d + "modules.dot")),
            "digraph callgraph {\r\n"
            "  rankdir=LR;\r\n"
            "  node [fontname=\"Courier\"];\r\n"
            "  subgraph \"cluster_app main\" {\r\n"
            "    style=filled;\r\n"
            "    label=\"app main\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    //node [label=\"void util\", shape=box] \"app main_void util\";\r\n"
            "    //node [label=\"main\", shape=box] \"app main_main\";\r\n"
            "    // ***** called from/to fcts\r\n"
            "    node [label=\"void util\", shape=box] \"app main_void util\";\r\n"
            "    node [label=\"main\", shape=box] \"app main_main\";\r\n"
            "  }\r\n"
            "  subgraph \"cluster_str-lib\" {\r\n"
            "    label=\"str-lib\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    //node [label=\"*dup\"] \"str-lib_*dup\";\r\n"
            "    //node [label=\"*dup\"] \"str-lib_*dup\";\r\n"
            "    //node [label=\"q\\\"uo\\\\te\"] \"str-lib_q\\\"uo\\\\te\";\r\n"
            "    // ***** called from/to fcts\r\n"
            "    node [label=\"*dup\"] \"str-lib_*dup\";\r\n"
            "  }\r\n"
            "  subgraph \"cluster_say \\\"hi\\\"\" {\r\n"
            "    label=\"say \\\"hi\\\"\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    // ***** called from/to fcts\r\n"
            "  }\r\n"
            "  subgraph cluster_node {\r\n"
            "    label=\"node\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    //node [label=\"graph\"] node_graph;\r\n"
            "    // ***** called from/to fcts\r\n"
            "    node [label=\"graph\"] node_graph;\r\n"
            "  }\r\n"
            "  \"app main_void util\" -> \"str-lib_*dup\" [color=\"red\"];\r\n"
            "  \"app main_main\" -> node_graph [color=\"red\"];\r\n"
            "}\r\n");
  testing::ExpectGraphvizAccepts(d + "modules.dot");
}

TEST_F(ModuleGraphBatchTest, GraphvizReadsASingleModuleGraph) {
  dir.Write("scan.cfg",
            "[modules]\ndot=modules.dot\nmod_0=app\nmod_0_file_0=app.c\n" + kQuietCallGraph);
  dir.Write("app.c", kAppSource);
  const auto result = Run("scan.cfg");
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(AfterHeader(ReadFile(d + "modules.dot")),
            "digraph callgraph {\r\n"
            "  subgraph cluster_app {\r\n"
            "    label=\"app\";\r\n"
            "    // ***** public + internal fcts (enable manually)\r\n"
            "    //node [label=\"main\"] app_main;\r\n"
            "    // ***** called from/to fcts\r\n"
            "  }\r\n"
            "}\r\n");
  testing::ExpectGraphvizAccepts(d + "modules.dot");
}

TEST_F(ModuleGraphBatchTest, UnopenableModuleSourceFailsTheRun) {
  dir.Write("scan.cfg", kExampleModules + "mod_1_file_1=missing.c\n" + kQuietCallGraph);
  dir.Write("app.c", kAppSource);
  dir.Write("lib.c", kLibSource);
  const auto result = Run("scan.cfg");
  EXPECT_EQ(result.status, 1);
  const std::string modulePart = WorkPathLine() + "error opening: " + d +
                                 "missing.c\n"
                                 "scanning calls from app to: lib\n"
                                 "scanning calls from lib to: app\n"
                                 "done...\n";
  EXPECT_EQ(result.out.substr(0, modulePart.size()), modulePart);
  // The module log lists the file as it always did, and nothing more about it.
  const std::string log = ReadFile(d + "mod.log");
  EXPECT_NE(log.find("\r\n" + d + "lib.c\r\n int init(void)\r\n" + d + "missing.c\r\n" + kStars),
            std::string::npos)
      << log;
  const std::string logEnd = " in:" + d + "missing.c\r\n";
  EXPECT_EQ(log.substr(log.size() - std::min(log.size(), logEnd.size())), logEnd) << log;
}

TEST_F(ModuleGraphBatchTest, UnwritableModuleOutputsFailTheRun) {
  dir.Write("scan.cfg",
            "[modules]\nlog=no/such/mod.log\ndot=no/such/modules.dot\n"
            "mod_0=app\nmod_0_file_0=app.c\nmod_1=lib\nmod_1_file_0=lib.c\n" +
                kQuietCallGraph);
  dir.Write("app.c", kAppSource);
  dir.Write("lib.c", kLibSource);
  const auto result = Run("scan.cfg");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("\ndone...\n"), std::string::npos) << result.out;
  const std::string errors =
      "error writing: " + d + "no/such/mod.log\nerror writing: " + d + "no/such/modules.dot\n";
  EXPECT_NE(result.out.find(errors), std::string::npos) << result.out;
}

}  // namespace
}  // namespace quillmap
