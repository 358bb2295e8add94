// The difference drawn as DOT: colours by state, files in the labels of names told apart by
// file, argument labels, and names that DOT cannot take as they stand.
#include "writers/graph_diff_dot.h"

#include <gtest/gtest.h>

#include "dot_syntax.h"

namespace quillmap {
namespace {

TEST(GraphDiffDotTest, GraphDiffDotLines_ColoursByStateAndEscapesNames) {
  GraphDiff diff;
  diff.nodes = {{"main", "", true, DiffState::kSame},
                {"init", "drivers/a \"b\".c", true, DiffState::kRemoved},
                {"node", "", false, DiffState::kAdded},
                {"say\\ \"hi\"", "", true, DiffState::kAdded}};
  diff.edges = {{0, 1, "init()", DiffState::kRemoved},
                {0, 2, "node(\"x\\n\")", DiffState::kAdded},
                {0, 3, "say\\ \"hi\"()", DiffState::kSame}};
  const std::vector<std::string> lines = GraphDiffDotLines(diff, "old\n.json", "new.json");
  ASSERT_EQ(lines.size(), 15u);
  const std::vector<std::string> expected = {
      "// difference of old\\n.json and new.json",
      "// functions: 1 appeared, 1 disappeared, 1 unchanged; calls: 1 appeared, 1 disappeared, 1 "
      "unchanged",
      "digraph diff",
      "{",
      "  node [color=grey, fontcolor=grey40]",
      "  edge [color=grey, fontcolor=grey40]",
      "  main",
      "  \"init@drivers/a \\\"b\\\".c\" [label=\"init\\ndrivers/a \\\"b\\\".c\", color=red, "
      "fontcolor=red3, penwidth=2]",
      "  \"node\" [color=green3, fontcolor=green4, penwidth=2, style=dashed]",
      "  \"say\\\\ \\\"hi\\\"\" [color=green3, fontcolor=green4, penwidth=2]",
      "  main -> \"init@drivers/a \\\"b\\\".c\" [color=red, fontcolor=red3, penwidth=2]",
      "  main -> \"node\" [label=\"node(\\\"x\\\\n\\\")\", color=green3, fontcolor=green4, "
      "penwidth=2]",
      "  main -> \"say\\\\ \\\"hi\\\"\"",
      "}"};
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const auto error = FindDotSyntaxError(text);
  EXPECT_FALSE(error) << DescribeDotSyntaxError(*error) << "\n" << text;
}

}  // namespace
}  // namespace quillmap
