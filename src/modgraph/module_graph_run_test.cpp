// The module graph inside whole scan runs of the dialog logic.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "dialog/scan_dialog.h"
#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const std::string kApp = "int main(void)\n{\n    init();\n}\n";
const std::string kLib = "int init(void)\n{\n    return 0;\n}\n";
const std::string kTwoModules =
    "[modules]\nlog=mod.log\ndot=modules.dot\n"
    "mod_0=app\nmod_0_file_0=app.c\nmod_1=lib\nmod_1_file_0=lib.c\n";

class ModuleGraphRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("app.c", kApp);
    dir.Write("lib.c", kLib);
  }
  void RunWith(const std::string& config) {
    cfgPath = dir.Write("scan.cfg", config);
    window.SetItemText(kPathEdit, cfgPath);
    dialog.RunScan();
  }

  TempDir dir;
  std::string cfgPath;
  MemoryWindow window;
  ScanDialog dialog{window};
};

TEST_F(ModuleGraphRunTest, ModuleEntriesAndDoneComeBeforeTheCallGraphEntries) {
  RunWith(kTwoModules + "[calls]\n0=init\n[files]\nfile0=app.c\n");
  ASSERT_GE(window.entries.size(), 4u);
  EXPECT_EQ(window.entries[0], "scanning calls from app to: lib");
  EXPECT_EQ(window.entries[1], "scanning calls from lib to: app");
  EXPECT_EQ(window.entries[2], "done...");
  EXPECT_THAT(window.entries[3], StartsWith("path: "));
  EXPECT_FALSE(dialog.lastRun().errorReported);
  EXPECT_TRUE(FileExists(dir / "modules.dot"));
}

TEST_F(ModuleGraphRunTest, ModulesWithoutCallsStillWriteTheGraphBeforeTheFilterError) {
  RunWith(kTwoModules);
  EXPECT_THAT(window.entries,
              ElementsAre("scanning calls from app to: lib", "scanning calls from lib to: app",
                          "done...", "error reading scan filters from: " + cfgPath));
  EXPECT_THAT(ReadFile(dir / "modules.dot"), ::testing::HasSubstr("  app_main -> lib_init;\r\n"));
}

TEST_F(ModuleGraphRunTest, SecondRunWithFewerModulesForgetsTheOthers) {
  dir.Write("util.c", "int helper(void)\n{\n    init();\n}\n");
  RunWith(kTwoModules + "mod_2=util\nmod_2_file_0=util.c\nmod_2_dot_clu_0=color=red;\n");
  EXPECT_EQ(dialog.moduleTable().moduleCount, 3);

  RunWith("[modules]\nlog=mod.log\ndot=modules.dot\nmod_0=app\nmod_0_file_0=app.c\n");
  const ModuleTable& table = dialog.moduleTable();
  EXPECT_EQ(table.moduleCount, 1);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(table.modules[k].valid, 0);
    EXPECT_EQ(table.modules[k].moduleName, "");
    EXPECT_THAT(table.modules[k].clusterAttributes, IsEmpty());
    EXPECT_THAT(table.modules[k].files, IsEmpty());
  }
  EXPECT_THAT(table.calls, IsEmpty());
  EXPECT_THAT(table.modules[0].linkedFunctions, IsEmpty());
  EXPECT_THAT(window.entries, ElementsAre("scanning calls from app to:", "done...",
                                          "error reading scan filters from: " + cfgPath));

  const std::vector<std::string> dot = CrLfLines(ReadFile(dir / "modules.dot"));
  ASSERT_EQ(dot.size(), 9u);
  EXPECT_EQ(dot[2], "  subgraph cluster_app {");
  EXPECT_EQ(dot[8], "}");
  const std::vector<std::string> log = CrLfLines(ReadFile(dir / "mod.log"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "reading CFG from: " + cfgPath);
  EXPECT_EQ(log.size(), 10u);
}

TEST_F(ModuleGraphRunTest, UnopenableModuleSourceIsReportedAndFailsTheRun) {
  RunWith(kTwoModules + "mod_1_file_1=missing.c\n[calls]\n0=init\n[files]\nfile0=app.c\n");
  ASSERT_GE(window.entries.size(), 4u);
  EXPECT_EQ(window.entries[0], "error opening: " + (dir / "missing.c"));
  EXPECT_EQ(window.entries[1], "scanning calls from app to: lib");
  EXPECT_EQ(window.entries[2], "scanning calls from lib to: app");
  EXPECT_EQ(window.entries[3], "done...");
  EXPECT_TRUE(dialog.lastRun().errorReported);
}

TEST_F(ModuleGraphRunTest, UnwritableGraphAndLogAreReported) {
  RunWith(
      "[modules]\nlog=no/such/mod.log\ndot=no/such/modules.dot\n"
      "mod_0=app\nmod_0_file_0=app.c\nmod_1=lib\nmod_1_file_0=lib.c\n"
      "[calls]\n0=init\n[files]\nfile0=app.c\n");
  EXPECT_EQ(std::count(window.entries.begin(), window.entries.end(), "done..."), 1);
  const auto logError = std::find(window.entries.begin(), window.entries.end(),
                                  "error writing: " + (dir / "no/such/mod.log"));
  const auto dotError = std::find(window.entries.begin(), window.entries.end(),
                                  "error writing: " + (dir / "no/such/modules.dot"));
  EXPECT_NE(logError, window.entries.end());
  EXPECT_NE(dotError, window.entries.end());
  EXPECT_LT(logError, dotError);
  EXPECT_TRUE(dialog.lastRun().errorReported);
}

}  // namespace
}  // namespace quillmap::testing
