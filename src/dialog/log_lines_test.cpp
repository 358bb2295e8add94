#include "dialog/log_lines.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(LogLinesTest, AppendedPiecesSplitIntoLinesWithTheWidestKnown) {
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    size_t widest;
  };
  const Case cases[] = {
      {"empty log has no line", {"", ""}, {}, 0},
      {"entries joined by CR LF", {"first", "\r\n", "\r\nsummary"}, {"first", "", "summary"}, 7},
      {"CR and LF in different appends", {"ab", "c\r", "\nd"}, {"abc", "d"}, 3},
      {"a final line feed opens an empty line", {"x\n"}, {"x", ""}, 1},
      {"the widest line stays known after it",
       {"longest line\n", "short\n", "s"},
       {"longest line", "short", "s"},
       12},
      {"a line grows over appends", {"ab", "cdef", "\ng"}, {"abcdef", "g"}, 6},
      {"a tab reaches the next stop", {"a\tb\n\t"}, {"a\tb", "\t"}, 9},
      {"UTF-8 counts characters", {"caf\xc3\xa9"}, {"caf\xc3\xa9"}, 4},
  };
  for (const Case& c : cases) {
    LogLines log;
    std::string text;
    for (const std::string& piece : c.pieces) {
      log.Append(piece);
      text += piece;
    }
    EXPECT_EQ(log.text(), text) << c.name;
    EXPECT_EQ(log.empty(), text.empty()) << c.name;
    ASSERT_EQ(log.lineCount(), c.lines.size()) << c.name;
    for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(log.Line(i), c.lines[i]) << c.name;
    EXPECT_EQ(log.widestColumns(), c.widest) << c.name;
  }
}

TEST(LogLinesTest, ShownLinesCopiedLinesAndClear) {
  LogLines log;
  log.Append("a\tb\r\nab\tc\r\nthird");
  EXPECT_EQ(log.ShownLine(0), "a       b");
  EXPECT_EQ(log.ShownLine(1), "ab      c");
  EXPECT_EQ(log.ShownLine(2), "third");
  EXPECT_EQ(log.ShownLine(3), "");
  EXPECT_EQ(log.Lines(1, 1), "ab\tc");
  EXPECT_EQ(log.Lines(2, 0), "a\tb\nab\tc\nthird");
  EXPECT_EQ(log.Lines(1, 9), "ab\tc\nthird");

  log.Clear();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(log.lineCount(), 0u);
  EXPECT_EQ(log.widestColumns(), 0u);
  log.Append("new");
  EXPECT_EQ(log.Line(0), "new");
  EXPECT_EQ(log.widestColumns(), 3u);
}

TEST(LogLines, FindGoesOnFromALineAndRoundPastTheEnd) {
  LogLines log;
  log.Append("IN[0]:  a.c\r\n>> Z:3, int Motor(void)\r\nerror opening: b.c\r\nmotor done");
  struct Case {
    std::string text;
    size_t from;
    std::optional<size_t> found;
  };
  const Case cases[] = {{"motor", 0, 1}, {"motor", 2, 3},           {"MOTOR", 4, 1},
                        {"b.c", 3, 2},   {"none", 0, std::nullopt}, {"", 0, std::nullopt}};
  for (const Case& c : cases)
    EXPECT_EQ(log.Find(c.text, c.from), c.found) << c.text << " " << c.from;
  EXPECT_EQ(LogLines().Find("x", 0), std::nullopt);
}

}  // namespace
}  // namespace quillmap
