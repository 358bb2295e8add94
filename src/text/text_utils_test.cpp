#include "text/text_utils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "text/line_feeds.h"

namespace quillmap {
namespace {

TEST(Trim, RemovesEveryBlankCharacterAtBothEndsOnly) {
  EXPECT_EQ(Trim(" \t\v\f\r\n a b \r\n"), "a b");
  EXPECT_EQ(Trim(" \t "), "");
  EXPECT_EQ(Trim(""), "");
}

// Blocks of 64 bytes and the rest after them find every line feed a byte-by-byte pass finds,
// in order, from texts shorter than a block to several blocks and a rest.
TEST(ForEachLineFeed, FindsWhatAByteByBytePassFinds) {
  for (const size_t size : {0, 1, 5, 63, 64, 65, 130, 200}) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += i % 7 == 3 || i % 29 == 0 ? '\n' : 'x';
    std::vector<size_t> expected;
    for (size_t i = 0; i < size; ++i) {
      if (text[i] == '\n') expected.push_back(i);
    }
    std::vector<size_t> found;
    ForEachLineFeed(text, [&](size_t at) { found.push_back(at); });
    EXPECT_EQ(found, expected) << size;
  }
}

TEST(FormatTimestamp, PadsEveryNumberAndPutsADotBeforeTheSeconds) {
  setenv("TZ", "UTC", 1);
  tzset();
  // 24.12.2013 09:05:07 UTC and 01.03.2014 00:00:00 UTC
  EXPECT_EQ(FormatTimestamp(1387875907), "24.12.2013, 09:05.07");
  EXPECT_EQ(FormatTimestamp(1393632000), "01.03.2014, 00:00.00");
}

TEST(GetField, SplitsAtEveryLineFeed) {
  const std::string abc = "a\nb\nc";
  EXPECT_EQ(GetField(abc, 0), "a");
  EXPECT_EQ(GetField(abc, 1), "b");
  EXPECT_EQ(GetField(abc, 2), "c");
  EXPECT_EQ(GetField(abc, 3), "");
  EXPECT_EQ(GetField("abc", 0), "abc");
  EXPECT_EQ(GetField("abc", 1), "");
  EXPECT_EQ(GetField("a\n", 0), "a");
  EXPECT_EQ(GetField("a\n", 1), "");
}

TEST(GetField, EmptyFieldsDoNotHideTheFieldsAfterThem) {
  // "Send,,msg" after the list reader: the third field stays readable.
  EXPECT_EQ(GetField("Send\n\nmsg", 1), "");
  EXPECT_EQ(GetField("Send\n\nmsg", 2), "msg");
  EXPECT_EQ(GetField("\nb", 0), "");
  EXPECT_EQ(GetField("\nb", 1), "b");
  EXPECT_EQ(GetField("a\nb", -1), "");
}

struct SplitCase {
  const char* line;
  const char* call;
  int result;
  StringList args;
};

class SplitArgumentsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, YieldsTheTrimmedArguments) {
  const SplitCase& c = GetParam();
  StringList args = {"left over"};
  EXPECT_EQ(SplitArguments(c.line, c.call, args), c.result);
  EXPECT_EQ(args, c.args);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitArgumentsTest,
    ::testing::Values(
        SplitCase{"  SendMsg(MSG_START, a);", "SendMsg(", 2, {"MSG_START", "a"}},
        SplitCase{"x = f(a, g(b, c), d);", "f(", 3, {"a", "g(b, c)", "d"}},
        SplitCase{"x = f(g(b, c));", "f(", 1, {"g(b, c)"}},
        SplitCase{"x = f(h(a,b)+1, c)", "f(", 2, {"h(a,b)+1", "c"}},
        SplitCase{"x = f();", "f(", 0, {}}, SplitCase{"x = f( );", "f(", 0, {}},
        SplitCase{"x = f(a, , b);", "f(", 3, {"a", "", "b"}},
        SplitCase{"x = f(a, b", "f(", -1, {"a"}}, SplitCase{"x = f(a", "f(", -1, {}},
        SplitCase{"f(\"x,y\", c);", "f(", 3, {"\"x", "y\"", "c"}},
        SplitCase{"x = f(a) + g(b)", "f(", -1, {"a) + g(b)"}},
        SplitCase{"x = f(a, g(b)) + h(c, d)", "f(", -1, {"a", "g(b)", ") + h(c, d)"}},
        SplitCase{"x = f(a);", "f", -1, {}}, SplitCase{"x = f(a);", "(f", -1, {}},
        SplitCase{"x = g(a);", "f(", -1, {}},
        // Unbalanced nesting gives up after its bounded scan instead of looping.
        SplitCase{"f(g((((((((", "f(", -1, {}}));

TEST(NodeNameOf, CutsAtTheParenthesisAndReplacesDots) {
  EXPECT_EQ(NodeNameOf("foo()"), "foo");
  EXPECT_EQ(NodeNameOf("obj.get()"), "obj_get");
  EXPECT_EQ(NodeNameOf("a.b.c"), "a_b_c");
  EXPECT_EQ(NodeNameOf("SendMsg(MSG_START)"), "SendMsg");
  EXPECT_EQ(NodeNameOf("int foo()"), "int foo");
  EXPECT_EQ(NodeNameOf(".x.y"), ".x.y");
  EXPECT_EQ(NodeNameOf("(x)"), "(x)");
  EXPECT_EQ(NodeNameOf(""), "");
}

TEST(AddIfAbsent, ComparesWholeTextsExactly) {
  StringList list = {"Send(a)"};
  EXPECT_TRUE(AddIfAbsent(list, "Send(A)"));
  EXPECT_FALSE(AddIfAbsent(list, "Send(A)"));
  EXPECT_TRUE(AddIfAbsent(list, "Send"));
  EXPECT_EQ(list, (StringList{"Send(a)", "Send(A)", "Send"}));
}

}  // namespace
}  // namespace quillmap
