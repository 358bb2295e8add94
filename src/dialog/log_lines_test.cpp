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

// Small blocks, so that a few lines fill several: every line reads back as appended, whichever
// block (compressed, stored plain, or still open) holds it and in whatever order it is read.
TEST(LogLines, LinesReadBackFromSealedBlocksInAnyOrder) {
  struct Case {
    const char* name;
    size_t blockBytes;
    std::vector<std::string> pieces;
  };
  std::string repeated, varied, oneAppend;
  for (int i = 0; i < 300; ++i) {
    repeated += ">> Z:" + std::to_string(i) + ", void f(void)\r\n     --> g()\r\n";
    varied += std::to_string(i * 7919 % 1000) + (i % 17 == 0 ? std::string(150, 'x') : "") + "\n";
  }
  const Case cases[] = {
      {"entries appended one by one", 64, {}},
      {"a batch that fills many blocks at once", 64, {repeated}},
      {"lines longer than a block", 16, {varied}},
      {"text that does not compress", 8, {"q\nw\ne\nr\nt\ny\nu\ni\no\np\n", "a"}},
      {"a line split over appends", 32, {std::string(40, 'a'), std::string(40, 'b') + "\nc"}},
      {"the default block size", kLogBlockBytes, {repeated, repeated}},
  };
  for (Case c : cases) {
    if (c.pieces.empty()) {
      for (int i = 0; i < 200; ++i) c.pieces.push_back("IN[" + std::to_string(i) + "]:  a.c\r\n");
    }
    LogLines log(c.blockBytes);
    LogLines whole;  // one block: the lines as one piece of text holds them
    std::string text;
    for (const std::string& piece : c.pieces) {
      log.Append(piece);
      text += piece;
    }
    whole.Append(text);
    EXPECT_EQ(log.text(), text) << c.name;
    ASSERT_EQ(log.lineCount(), whole.lineCount()) << c.name;
    EXPECT_EQ(log.widestColumns(), whole.widestColumns()) << c.name;
    const size_t lines = log.lineCount();
    for (size_t i = 0; i < lines; ++i) EXPECT_EQ(log.Line(i), whole.Line(i)) << c.name << " " << i;
    for (size_t i = lines; i-- > 0;) EXPECT_EQ(log.Line(i), whole.Line(i)) << c.name << " " << i;
    for (size_t i = 0; i < lines; i += 7) {
      EXPECT_EQ(log.Line(lines - 1 - i), whole.Line(lines - 1 - i)) << c.name;
      EXPECT_EQ(log.Line(i), whole.Line(i)) << c.name;
    }
    EXPECT_EQ(log.Lines(1, lines - 2), whole.Lines(1, lines - 2)) << c.name;
    const std::string middle = whole.Line(lines / 2);
    EXPECT_EQ(log.Find(middle, lines / 2 + 1), whole.Find(middle, lines / 2 + 1)) << c.name;
  }
  // Repeated entries take less room than their text.
  LogLines log(16 << 10);
  for (int i = 0; i < 40; ++i) log.Append(repeated);
  EXPECT_LT(log.heldBytes(), 40 * repeated.size() / 2);
  log.Clear();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(log.text(), "");
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
