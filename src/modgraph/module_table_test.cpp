#include "modgraph/module_table.h"

#include "files/file_error.h"
#include "modgraph/modgraph_test_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using ReadModuleConfigTest = ModuleGraphTest;

TEST_F(ReadModuleConfigTest, ReadsPathsAttributesAndModulesInOrder) {
  WriteConfig(
      "log=mod.log\ndot=modules.dot\ngraph_cfg0=rankdir=LR\ngraph_cfg1=splines=ortho\n"
      "mod_0=app\nmod_0_dot_clu_0=color=blue;\nmod_0_dot_clu_1=style=filled;\n"
      "mod_0_dot_node=shape=box\nmod_0_dot_call=[color=red]\n"
      "mod_0_file_0=app.c\nmod_0_file_1=src\\main.c\n"
      "mod_1=lib\nmod_1_file_0=/abs/lib.c\nmod_1_file_1=D:\\lib\\b.c\n");
  EXPECT_EQ(Read(), 2);

  EXPECT_EQ(table->moduleCount, 2);
  EXPECT_EQ(table->moduleLogPath, Path("mod.log"));
  EXPECT_EQ(table->moduleDotPath, Path("modules.dot"));
  EXPECT_THAT(table->graphAttributeLines, ElementsAre(" rankdir=LR;", " splines=ortho;"));
  EXPECT_THAT(table->calls, IsEmpty());

  const ModuleRecord& app = table->modules[0];
  EXPECT_EQ(app.valid, 1);
  EXPECT_EQ(app.moduleName, "app");
  EXPECT_THAT(app.clusterAttributes, ElementsAre("color=blue;", "style=filled;"));
  EXPECT_EQ(app.nodeAttributes, "shape=box");
  EXPECT_EQ(app.callAttributes, "[color=red]");
  EXPECT_THAT(app.files, ElementsAre(Path("app.c"), Path("src/main.c")));

  const ModuleRecord& lib = table->modules[1];
  EXPECT_EQ(lib.valid, 1);
  EXPECT_EQ(lib.moduleName, "lib");
  EXPECT_THAT(lib.clusterAttributes, IsEmpty());
  EXPECT_EQ(lib.nodeAttributes, "");
  EXPECT_EQ(lib.callAttributes, "");
  // A path with a drive colon is used as it stands, apart from its separators.
  EXPECT_THAT(lib.files, ElementsAre("/abs/lib.c", "D:/lib/b.c"));

  EXPECT_EQ(table->modules[2].valid, 0);
}

TEST_F(ReadModuleConfigTest, StartsTheModuleLogAfresh) {
  WriteConfig("log=mod.log\ndot=modules.dot\nmod_0=app\nmod_0_file_0=app.c\n");
  writer.files[Path("mod.log")] = "line of an earlier run\r\n";
  Read();
  EXPECT_THAT(LogLines(), ElementsAre("reading CFG from: " + cfgPath, kStars));
  EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(ReadModuleConfigTest, WithoutDotKeyReadsNoModuleButStartsTheLog) {
  WriteConfig("log=mod.log\nmod_0=A\nmod_0_file_0=a.c\n");
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(table->modules[0].valid, 0);
  EXPECT_EQ(table->modules[0].moduleName, "");
  EXPECT_THAT(LogLines(), ElementsAre("reading CFG from: " + cfgPath, kStars));
}

TEST_F(ReadModuleConfigTest, FirstGapInModuleNumberingEndsTheList) {
  WriteConfig("dot=m.dot\nmod_0=A\nmod_0_file_0=a.c\nmod_2=C\nmod_2_file_0=c.c\n");
  EXPECT_EQ(Read(), 1);
  EXPECT_EQ(table->modules[2].valid, 0);
  EXPECT_EQ(table->modules[2].moduleName, "");
}

TEST_F(ReadModuleConfigTest, ModuleWithoutFilesEndsTheList) {
  WriteConfig("dot=m.dot\nmod_0=A\nmod_1=B\nmod_1_file_0=b.c\n");
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(table->modules[0].valid, 0);
  EXPECT_EQ(table->modules[1].valid, 0);
  EXPECT_EQ(table->modules[1].moduleName, "");
}

TEST_F(ReadModuleConfigTest, FirstGapInFileAndClusterNumberingEndsThoseLists) {
  WriteConfig(
      "dot=m.dot\nmod_0=A\nmod_0_file_0=a.c\nmod_0_file_2=c.c\n"
      "mod_0_dot_clu_0=color=red;\nmod_0_dot_clu_2=x=y;\ngraph_cfg0=a=b\ngraph_cfg2=c=d\n");
  EXPECT_EQ(Read(), 1);
  EXPECT_THAT(table->modules[0].files, ElementsAre(Path("a.c")));
  EXPECT_THAT(table->modules[0].clusterAttributes, ElementsAre("color=red;"));
  EXPECT_THAT(table->graphAttributeLines, ElementsAre(" a=b;"));
}

TEST_F(ReadModuleConfigTest, GraphAttributeKeepsItsOwnSemicolon) {
  WriteConfig("dot=m.dot\ngraph_cfg0=rankdir=LR;\ngraph_cfg1=ranksep=2\n");
  Read();
  EXPECT_THAT(table->graphAttributeLines, ElementsAre(" rankdir=LR;", " ranksep=2;"));
}

TEST_F(ReadModuleConfigTest, ReadsAtMostTwoHundredModules) {
  std::string body = "dot=m.dot\n";
  for (int i = 0; i <= kMaxModules; ++i) {
    body += "mod_" + std::to_string(i) + "=m" + std::to_string(i) + "\n";
    body += "mod_" + std::to_string(i) + "_file_0=f.c\n";
  }
  WriteConfig(body);
  EXPECT_EQ(Read(), kMaxModules);
  EXPECT_EQ(table->modules[kMaxModules - 1].moduleName, "m199");
}

TEST_F(ReadModuleConfigTest, SecondReadWithFewerModulesLeavesTheRestInvalidAndEmpty) {
  WriteConfig(
      "dot=m.dot\nmod_0=A\nmod_0_file_0=a.c\n"
      "mod_1=B\nmod_1_dot_clu_0=color=red;\nmod_1_file_0=b.c\n");
  EXPECT_EQ(Read(), 2);
  table->calls.Add({0, 1, "f", "g", "a.c", 1});

  WriteConfig("dot=m.dot\nmod_0=A\nmod_0_file_0=a.c\n");
  EXPECT_EQ(Read(), 1);
  const ModuleRecord& b = table->modules[1];
  EXPECT_EQ(b.valid, 0);
  EXPECT_EQ(b.moduleName, "");
  EXPECT_THAT(b.clusterAttributes, IsEmpty());
  EXPECT_THAT(b.files, IsEmpty());
  EXPECT_THAT(table->calls, IsEmpty());
}

TEST_F(ReadModuleConfigTest, UnopenableConfigurationThrowsAndLogsNothing) {
  cfgPath = Path("missing.cfg");
  EXPECT_THROW(Read(), FileError);
  EXPECT_THAT(writer.files, IsEmpty());
}

TEST(ModuleNodeIdTest, PlainNamesStayQuotedNamesAreEscaped) {
  EXPECT_EQ(ModuleNodeId("app", "main"), "app_main");
  EXPECT_EQ(ModuleNodeId("app", "void util"), "\"app_void util\"");
  EXPECT_EQ(ModuleNodeId("app", "*dup"), "\"app_*dup\"");
  EXPECT_EQ(ModuleNodeId("my-mod", "f"), "\"my-mod_f\"");
  EXPECT_EQ(ModuleNodeId("a\"b\\c", "f"), "\"a\\\"b\\\\c_f\"");
}

// ModuleSourcePaths lists exactly the files of the modules that ReadModuleConfig reads.
TEST_F(ReadModuleConfigTest, ModuleSourcePathsAreTheFilesOfTheModulesRead) {
  SourceListCache lists;  // kept across the configurations: each change is seen
  for (const char* body : {
           "dot=m.dot\nmod_0=a\nmod_0_file_0=a.c\nmod_0_file_1=b.c\nmod_1=b\nmod_1_file_0=c.c\n",
           "mod_0=a\nmod_0_file_0=a.c\n",                                        // no "dot"
           "dot=m.dot\nmod_0=a\nmod_0_file_0=a.c\nmod_2=c\nmod_2_file_0=c.c\n",  // a gap
           "dot=m.dot\nmod_0=a\nmod_1=b\nmod_1_file_0=b.c\n",                    // no files
           "dot=m.dot\nmod_0=a\nmod_0_file_0=a.c\nmod_0_file_2=c.c\nmod_1=b\nmod_1_file_0=\n",
       }) {
    SCOPED_TRACE(body);
    WriteConfig(body);
    Read();
    StringList files;
    for (int k = 0; k < table->moduleCount; ++k) {
      files.insert(files.end(), table->modules[k].files.begin(), table->modules[k].files.end());
    }
    EXPECT_EQ(ModuleSourcePaths(lists, settings, dir.path()), files);
  }
  // 200 modules at most.
  std::string many = "dot=m.dot\n";
  for (int i = 0; i < 210; ++i) {
    many += "mod_" + std::to_string(i) + "=m\nmod_" + std::to_string(i) + "_file_0=f.c\n";
  }
  WriteConfig(many);
  EXPECT_EQ(ModuleSourcePaths(lists, ReadScanSettings(profile, cfgPath), dir.path()).size(), 200u);
}

}  // namespace
}  // namespace quillmap::testing
