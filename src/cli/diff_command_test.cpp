// The command line of the difference mode: both orders, and every malformed form.
#include "cli/diff_command.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(DiffCommandTest, ParseDiffCommand_TakesBothOrdersAndRejectsTheRest) {
  struct Case {
    std::vector<std::string> args;
    std::string older, newer, dot, error;
  };
  const std::vector<Case> cases = {
      {{"-diff", "a.json", "b.json", "-o", "d.dot"}, "a.json", "b.json", "d.dot", ""},
      {{"-o", "d.dot", "-diff", "a.json", "b.json"}, "a.json", "b.json", "d.dot", ""},
      {{"-diff", "a.json", "b.json"}, "", "", "", "no DOT file given (-o DIFF.dot)"},
      {{"-diff", "a.json", "-o", "d.dot"},
       "",
       "",
       "",
       "-diff takes two exports, the older one first"},
      {{"-diff", "a.json"}, "", "", "", "-diff takes two exports, the older one first"},
      {{"-diff", "a.json", "b.json", "-o"}, "", "", "", "-o takes the DOT file to write"},
      {{"-diff", "a", "b", "-o", "d", "-o", "e"}, "", "", "", "-o given twice"},
      {{"-diff", "a", "b", "-diff", "c", "d"}, "", "", "", "-diff given twice"},
      {{"-diff", "a", "b", "-o", "d", "-cfg", "x.cfg"}, "", "", "", "unexpected argument: -cfg"},
  };
  for (const Case& c : cases) {
    const DiffCommand command = ParseDiffCommand(c.args);
    EXPECT_EQ(command.error, c.error) << c.args[1];
    if (c.error.empty()) {
      EXPECT_EQ(command.olderPath + "|" + command.newerPath + "|" + command.dotPath,
                c.older + "|" + c.newer + "|" + c.dot);
    }
  }
  EXPECT_TRUE(IsDiffCommand({"-o", "x", "-diff", "a", "b"}));
  EXPECT_FALSE(IsDiffCommand({"-cfg", "-diff.cfg"}));
}

}  // namespace
}  // namespace quillmap
