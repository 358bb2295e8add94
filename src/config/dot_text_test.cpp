#include "config/dot_text.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(DotId, KeepsPlainIdentifiersAndNumerals) {
  for (const char* plain : {"foo", "_x1", "SendMsg", "42", "-1.5", ".5", "7."}) {
    EXPECT_TRUE(IsPlainDotId(plain)) << plain;
    EXPECT_EQ(DotId(plain), plain);
  }
}

TEST(DotId, QuotesKeywordsBlanksAndPunctuation) {
  EXPECT_EQ(DotId("node"), "\"node\"");
  EXPECT_EQ(DotId("Graph"), "\"Graph\"");
  EXPECT_EQ(DotId("STRICT"), "\"STRICT\"");
  EXPECT_EQ(DotId("int foo"), "\"int foo\"");
  EXPECT_EQ(DotId("*foo"), "\"*foo\"");
  EXPECT_EQ(DotId("&msg"), "\"&msg\"");
  EXPECT_EQ(DotId("1abc"), "\"1abc\"");
  EXPECT_EQ(DotId("-"), "\"-\"");
  EXPECT_EQ(DotId(""), "\"\"");
  EXPECT_EQ(DotId("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(DotId(std::string("a\0b", 3)), "\"a\\0b\"");
}

TEST(InsideDotString, CountsOnlyUnescapedQuotes) {
  const std::string text = R"([label="x $0" tip=$1 t="a\"$2"])";
  EXPECT_TRUE(InsideDotString(text, text.find("$0")));
  EXPECT_FALSE(InsideDotString(text, text.find("$1")));
  EXPECT_TRUE(InsideDotString(text, text.find("$2")));
}

}  // namespace
}  // namespace quillmap
