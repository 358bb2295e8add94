#include "dialog/module_overview.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(ModuleOverview, OneBoxAModuleEdgesByCallCountAndExpandedModulesShowTheirFunctions) {
  ModuleModel model;
  model.modules = {{"app", {"main.c"}, {"main", "tick"}},
                   {"motor", {"motor.c"}, {"MotorStart", "MotorStop", "spare"}},
                   {"io", {"io.c"}, {"Send"}}};
  model.calls = {{0, 1, "main", "MotorStart", "main.c", 3},
                 {0, 1, "tick", "MotorStop", "main.c", 9},
                 {0, 1, "main", "MotorStop", "main.c", 4},
                 {1, 2, "MotorStart", "Send", "motor.c", 2},
                 {1, 2, "MotorStop", "Send", "motor.c", 7}};
  EXPECT_EQ(ModuleBoxName("io"), "[io]");
  EXPECT_EQ(ModuleOfBox("[io]"), "io");
  EXPECT_EQ(ModuleOfBox("io"), "");

  const std::string closed = ModuleOverviewDot(model, {});
  for (const char* line : {"\"[app]\" [label=\"app\\n2 functions\"];",
                           "\"[app]\" -> \"[motor]\" [penwidth=2.58, label=\"3\"];",
                           "\"[motor]\" -> \"[io]\" [penwidth=2.00, label=\"2\"];"}) {
    EXPECT_NE(closed.find(line), std::string::npos) << line << "\n" << closed;
  }
  EXPECT_EQ(closed.find("MotorStart"), std::string::npos) << closed;

  // Opened, motor shows the functions its calls run through (not "spare"); one more is left out
  // when only one may be shown.
  const std::string open = ModuleOverviewDot(model, {"motor"});
  for (const char* line : {"subgraph cluster_motor {", "MotorStart [fillcolor=white];",
                           "\"[app]\" -> MotorStop [penwidth=2.00, label=\"2\"];",
                           "MotorStart -> \"[io]\" [penwidth=1.00, label=\"1\"];"}) {
    EXPECT_NE(open.find(line), std::string::npos) << line << "\n" << open;
  }
  EXPECT_EQ(open.find("spare"), std::string::npos);
  const std::string capped = ModuleOverviewDot(model, {"motor"}, 1);
  EXPECT_NE(capped.find("\"[motor] more\" [label=\"1 more\", style=dashed];"), std::string::npos)
      << capped;
  EXPECT_NE(capped.find("\"[motor] more\" -> \"[io]\""), std::string::npos) << capped;
}

}  // namespace
}  // namespace quillmap
