#include "modgraph/module_graph_output.h"

#include "config/app_identity.h"
#include "modgraph/modgraph_test_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

const std::string kApp = "int main(void)\n{\n    init();\n}\n";
const std::string kLib = "int init(void)\n{\n    return 0;\n}\n";
const std::string kFirstComment = "    // ***** public + internal fcts (enable manually)";
const std::string kSecondComment = "    // ***** called from/to fcts";

class WriteModuleGraphTest : public ModuleGraphTest {
 protected:
  // Reads the configuration and writes the module graph; returns WriteModuleGraph's result.
  int Run(const std::string& modulesBody) {
    WriteConfig(modulesBody);
    if (Read() == 0) return 0;
    return WriteModuleGraph(context, *table);
  }

  // The module graph file's lines after its header, which is checked here.
  std::vector<std::string> DotLinesAfterHeader() const {
    std::vector<std::string> lines = DotLines();
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return lines;
    EXPECT_THAT(lines[0], MatchesRegex("// crated on: [0-9]{2}\\.[0-9]{2}\\.[0-9]{4}, "
                                       "[0-9]{2}:[0-9]{2}\\.[0-9]{2} with " +
                                       ApplicationName() + " V1\\.0\\.0\\.2 BETA!!!"));
    lines.erase(lines.begin());
    return lines;
  }
};

TEST_F(WriteModuleGraphTest, WritesTheExampleGraphAndLogByteForByte) {
  dir.Write("app.c", kApp);
  dir.Write("lib.c", kLib);
  EXPECT_EQ(Run("log=mod.log\ndot=modules.dot\ngraph_cfg0=rankdir=LR\n"
                "mod_0=app\nmod_0_file_0=app.c\nmod_0_dot_clu_0=color=blue;\n"
                "mod_0_dot_node=shape=box\nmod_0_dot_call=[color=red]\n"
                "mod_1=lib\nmod_1_file_0=lib.c\n"),
            2);

  const std::string dot = writer.files[Path("modules.dot")];
  const size_t headerEnd = dot.find("\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  EXPECT_THAT(DotLinesAfterHeader(), ::testing::SizeIs(19));
  EXPECT_EQ(dot.substr(headerEnd + 2),
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

  const std::string stars = kStars + "\r\n";
  EXPECT_EQ(writer.files[Path("mod.log")],
            "reading CFG from: " + cfgPath + "\r\n" + stars +          //
                "out file: " + Path("modules.dot") + "\r\n" + stars +  //
                "scanning API for\r\n"
                "app\r\n" +
                Path("app.c") + "\r\n" +  //
                " int main(void)\r\n"
                "lib\r\n" +
                Path("lib.c") + "\r\n" +  //
                " int init(void)\r\n" + stars +
                "scanning calls from app\r\n"
                " to:lib\r\n"
                " in:" +
                Path("app.c") + "\r\n" +
                " -> app:main\r\n"
                "  - lib:init\r\n"
                " <-\r\n" +
                stars +
                "scanning calls from lib\r\n"
                " to:app\r\n"
                " in:" +
                Path("lib.c") + "\r\n" +
                " -> lib:init\r\n"
                " <-\r\n");
  EXPECT_THAT(LogLines(), ::testing::SizeIs(24));

  EXPECT_THAT(log.entries,
              ElementsAre("scanning calls from app to: lib", "scanning calls from lib to: app"));
  EXPECT_THAT(writer.FailedPaths(), IsEmpty());
}

TEST_F(WriteModuleGraphTest, OneModuleGivesOneClusterWithoutLiveNodesOrEdges) {
  dir.Write("app.c", kApp);
  EXPECT_EQ(Run("dot=modules.dot\nmod_0=app\nmod_0_file_0=app.c\n"), 1);
  EXPECT_THAT(DotLinesAfterHeader(),
              ElementsAre("digraph callgraph {", "  subgraph cluster_app {", "    label=\"app\";",
                          kFirstComment, "    //node [label=\"main\"] app_main;", kSecondComment,
                          "  }", "}"));
}

TEST_F(WriteModuleGraphTest, ListsEveryFunctionFoundAndLiveNodesOnlyForLinkedOnes) {
  dir.Write("app.c", "int main(void)\n\n{\n    init();\n}\n");
  dir.Write("lib.c", "int init(void)\n{\n}\nint unused(void)\n{\n}\n");
  dir.Write("copy.c", "int init(void)\n{\n}\n");
  dir.Write("none.c", "/* nothing defined here */\n");
  EXPECT_EQ(
      Run("dot=modules.dot\ngraph_cfg0=rankdir=LR;\n"
          "mod_0=app\nmod_0_file_0=app.c\n"
          "mod_1=lib\nmod_1_file_0=lib.c\nmod_1_file_1=copy.c\nmod_1_dot_node=color=\"#ff0000\"\n"
          "mod_2=none\nmod_2_file_0=none.c\n"),
      3);
  EXPECT_THAT(DotLinesAfterHeader(),
              ElementsAre("digraph callgraph {", "  rankdir=LR;",
                          // main is found only by the call scan: live, without a commented twin.
                          "  subgraph cluster_app {", "    label=\"app\";", kFirstComment,
                          kSecondComment, "    node [label=\"main\"] app_main;", "  }",
                          // init stands twice among the functions found, once among the live.
                          "  subgraph cluster_lib {", "    label=\"lib\";", kFirstComment,
                          "    //node [label=\"init\", color=\"#ff0000\"] lib_init;",
                          "    //node [label=\"unused\", color=\"#ff0000\"] lib_unused;",
                          "    //node [label=\"init\", color=\"#ff0000\"] lib_init;",
                          kSecondComment, "    node [label=\"init\", color=\"#ff0000\"] lib_init;",
                          "  }", "  subgraph cluster_none {", "    label=\"none\";", kFirstComment,
                          kSecondComment, "  }",  //
                          "  app_main -> lib_init;", "}"));
}

TEST_F(WriteModuleGraphTest, QuotesNamesThatAreNoPlainDotIds) {
  dir.Write("app.c", "static void run(void)\n{\n    c = *dup(s);\n}\n");
  dir.Write("lib.c", "char *dup(char *s)\n{\n}\nint q\"uo\\te(void)\n{\n}\n");
  EXPECT_EQ(Run("dot=modules.dot\n"
                "mod_0=app\nmod_0_file_0=app.c\nmod_0_dot_call=[label=\"a \\\\ b\"]\n"
                "mod_1=say \"hi\"\\2\nmod_1_file_0=lib.c\nmod_1_dot_clu_0=label=\"x\";\n"),
            2);
  EXPECT_THAT(
      DotLinesAfterHeader(),
      ElementsAre("digraph callgraph {", "  subgraph cluster_app {", "    label=\"app\";",
                  kFirstComment, "    //node [label=\"void run\"] \"app_void run\";",
                  kSecondComment, "    node [label=\"void run\"] \"app_void run\";",
                  "  }",  //
                  "  subgraph \"cluster_say \\\"hi\\\"\\\\2\" {", "    label=\"x\";",
                  "    label=\"say \\\"hi\\\"\\\\2\";", kFirstComment,
                  "    //node [label=\"*dup\"] \"say \\\"hi\\\"\\\\2_*dup\";",
                  "    //node [label=\"q\\\"uo\\\\te\"] \"say \\\"hi\\\"\\\\2_q\\\"uo\\\\te\";",
                  kSecondComment, "    node [label=\"*dup\"] \"say \\\"hi\\\"\\\\2_*dup\";", "  }",
                  // The configured call attributes stay as they are.
                  "  \"app_void run\" -> \"say \\\"hi\\\"\\\\2_*dup\" [label=\"a \\\\ b\"];", "}"));
}

TEST_F(WriteModuleGraphTest, UnwritableGraphFileIsReportedAndTheScanStillRuns) {
  dir.Write("app.c", kApp);
  dir.Write("lib.c", kLib);
  writer.unwritable.insert(Path("modules.dot"));
  EXPECT_EQ(Run("log=mod.log\ndot=modules.dot\nmod_0=app\nmod_0_file_0=app.c\n"
                "mod_1=lib\nmod_1_file_0=lib.c\n"),
            2);
  EXPECT_THAT(writer.FailedPaths(), ElementsAre(Path("modules.dot")));
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init;"));
  EXPECT_THAT(LogLines(), ::testing::SizeIs(24));
}

TEST_F(WriteModuleGraphTest, WithoutModulesWritesOnlyTheLogHeadAndNoGraph) {
  table->moduleLogPath = Path("mod.log");
  table->moduleDotPath = Path("modules.dot");
  writer.files[Path("modules.dot")] = "earlier graph\r\n";
  EXPECT_EQ(WriteModuleGraph(context, *table), 0);
  EXPECT_THAT(LogLines(),
              ElementsAre("out file: " + Path("modules.dot"), kStars, "scanning API for"));
  EXPECT_EQ(writer.files[Path("modules.dot")], "earlier graph\r\n");
  EXPECT_THAT(log.entries, IsEmpty());
}

}  // namespace
}  // namespace quillmap::testing
