#include "dot/dot_text.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(DotId, KeepsPlainIdentifiersAndNumerals) {
  for (const char* plain : {"foo", "_x1", "SendMsg", "42", "-1.5", ".5", "7."}) {
    EXPECT_TRUE(IsPlainDotId(plain)) << plain;
    EXPECT_EQ(DotId(plain), plain);
  }
}

TEST(DotId, LongIdsAreQuotedPartsThatGraphvizReadsAsOneName) {
  const std::string plain(kMaxDotIdLength, 'a');
  EXPECT_EQ(DotId(plain), plain);
  // Past the limit: parts joined with '+', none longer than the limit, none ending inside an
  // escape sequence (an odd run of backslashes would escape its closing quote).
  for (const std::string& name : {std::string(kMaxDotIdLength + 1, 'a'), std::string(40000, '"'),
                                  "x" + std::string(40000, '\\')}) {
    const std::string id = DotId(name);
    ASSERT_TRUE(id.starts_with('"') && id.ends_with('"'));
    std::string joined;
    for (size_t at = 1; at < id.size();) {
      size_t end = id.find("\" + \"", at);
      if (end == std::string::npos) end = id.size() - 1;
      const std::string part = id.substr(at, end - at);
      const size_t kept = part.find_last_not_of('\\');
      EXPECT_LE(part.size(), kMaxDotIdLength);
      EXPECT_EQ((part.size() - (kept == std::string::npos ? 0 : kept + 1)) % 2, 0u);
      joined += part;
      at = end + 5;
    }
    EXPECT_EQ(joined, EscapeDotString(name));
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

TEST(DotContextAt, TellsBareQuotedAndHtmlPositionsApart) {
  const std::string text = R"([a=$0, b="$1", c=<<b t="x">$2</b>>, d=$3])";
  EXPECT_EQ(DotContextAt(text, text.find("$0")), DotTextContext::kBare);
  EXPECT_EQ(DotContextAt(text, text.find("$1")), DotTextContext::kQuoted);
  // Quotes inside an HTML string open no quoted string, and nested tags keep it open.
  EXPECT_EQ(DotContextAt(text, text.find("$2")), DotTextContext::kHtml);
  EXPECT_EQ(DotContextAt(text, text.find("$3")), DotTextContext::kBare);
  EXPECT_FALSE(InsideDotString(text, text.find("$2")));
}

// Found by the edge attribute fuzzer: "[label=<$0>]" with the argument 'a<b' gave an HTML string
// that ended inside the argument.
TEST(EscapeHtmlText, WritesWhatGraphvizsXmlParserTakes) {
  EXPECT_EQ(EscapeHtmlText("a<b && c>d"), "a&lt;b &amp;&amp; c&gt;d");
  EXPECT_EQ(EscapeHtmlText("\"q\" 'x'\tz"), "\"q\" 'x'\tz");
  // UTF-8 stays; a Latin-1 byte becomes its character reference; broken sequences too.
  EXPECT_EQ(EscapeHtmlText("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(EscapeHtmlText("caf\xE9"), "caf&#233;");
  EXPECT_EQ(EscapeHtmlText("\xC0\xAF\xED\xA0\x80\xC3"), "&#192;&#175;&#237;&#160;&#128;&#195;");
  EXPECT_EQ(EscapeHtmlText(std::string("a\0b\x01", 4)), "a\\0b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace quillmap
