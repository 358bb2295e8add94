#include "model/edge_style.h"

#include <gtest/gtest.h>

#include "text/text_utils.h"

namespace quillmap {
namespace {

TEST(SubstituteArgument, ReadsTheNumberLikeAtoiAndSkipsAtMostFiveDigits) {
  std::string argument;
  const StringList args = {"a", "b"};
  EXPECT_EQ(SubstituteArgument("[label=$01]", args, argument), "[label=b]");
  // The number is read whole, but only five digits are removed.
  EXPECT_EQ(SubstituteArgument("[label=$000001x]", args, argument), "[label=b1x]");
  EXPECT_EQ(argument, "b");
  EXPECT_EQ(SubstituteArgument("[label=$-1]", args, argument), "[label=\"#?#\"-1]");
  EXPECT_EQ(SubstituteArgument("[label=$]", args, argument), "[label=a]");
  EXPECT_EQ(SubstituteArgument("[label=\"x$0\"]", {"\"q\\\""}, argument),
            "[label=\"x\\\"q\\\\\\\"\"]");
  EXPECT_EQ(argument, "\"q\\\"");
  EXPECT_EQ(SubstituteArgument("$0", args, argument), "$0");
  EXPECT_EQ(argument, "");
  EXPECT_EQ(SubstituteArgument("[label=$99999999999999999999]", args, argument),
            "[label=\"#?#\"999999999999999]");
}

// Found by the edge attribute fuzzer (input 'f', '[label=<$0>]', 'x = f(a<b, c);'): the argument
// was quoted as a DOT ID inside an HTML label, and its '<' broke the label.
TEST(SubstituteArgument, WritesAnArgumentInsideAnHtmlLabelAsHtmlText) {
  StringList args;
  ASSERT_EQ(SplitArguments("x = f(a<b, c);", "f(", args), 2);
  std::string argument;
  EXPECT_EQ(SubstituteArgument("[label=<$0>]", args, argument), "[label=<a&lt;b>]");
  EXPECT_EQ(argument, "a<b");
  EXPECT_EQ(SubstituteArgument("[label=<<b>$1 &amp; $0</b>>]", {"x & y"}, argument),
            "[label=<<b>#?# &amp; $0</b>>]");
  EXPECT_EQ(argument, "#?#");
}

}  // namespace
}  // namespace quillmap
