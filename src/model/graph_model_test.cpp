#include "model/graph_model.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

// The call text and the edge style are derived from the call's name, arguments and filter when
// they are written; each case is what the scan used to store for the call.
TEST(CallGraphModel, CallTextsAndEdgeStylesFollowTheFilterAndTheArguments) {
  struct Case {
    std::string style;  // of the call's filter
    std::string written;
    std::string callee;
    std::vector<std::string> arguments;
    std::string callText;
    std::string edgeStyle;
  };
  const Case cases[] = {
      {"", "f", "f", {"a"}, "f()", ""},
      {"[color=red]", "f", "f", {}, "f()", "[color=red]"},
      {"[label=$1]", "g", "g", {"a", "b c"}, "g(b c)", "[label=\"b c\"]"},
      {"[label=$2]", "g", "g", {"a"}, "g(#?#)", "[label=\"#?#\"]"},
      {"[label=<$0>]", "h", "h", {"x<y"}, "h(x<y)", "[label=<x&lt;y>]"},
      // A line-mode name with a '.': the node is named apart from the call text.
      {"[label=$0]", "s.op", "s_op", {"v"}, "s.op(v)", "[label=v]"},
      {"", "", "", {}, "()", ""},
  };
  CallGraphModel model;
  model.sources.push_back({"a.c", true, ""});
  for (const Case& c : cases) model.edgeStyles.emplace_back(c.style);
  // Two functions, the cases' calls split between them.
  model.AddFunction("first", "int first(void)", 0, 1, 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    if (i == 3) model.AddFunction("second", "void second(int x)", 1, 9, 8);
    model.AddCall(cases[i].written, cases[i].callee, static_cast<int32_t>(i), cases[i].arguments,
                  static_cast<int32_t>(10 + i));
  }
  ASSERT_EQ(model.calls.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const CallRecord& call = model.calls[i];
    EXPECT_EQ(model.NameOf(call.callee), cases[i].callee);
    const CallDetails details = model.DetailsOf(call);
    EXPECT_EQ(details.line, static_cast<int32_t>(10 + i));
    EXPECT_EQ(details.filter, static_cast<int32_t>(i));
    EXPECT_EQ(std::vector<std::string>(details.arguments.begin(), details.arguments.end()),
              cases[i].arguments);
    EXPECT_EQ(model.CallTextOf(i), cases[i].callText);
    EXPECT_EQ(model.EdgeStyleOf(call), cases[i].edgeStyle);
  }
  const FunctionDetails second = model.DetailsOf(model.functions[1]);
  EXPECT_EQ(second.header, "void second(int x)");
  EXPECT_EQ(second.line, 8);
  EXPECT_EQ(second.braceLine, 9);
  EXPECT_EQ(second.filter, 1);
  std::vector<uint32_t> calls;
  for (const FunctionRecord& function : model.functions) {
    for (const uint32_t c : model.CallsOf(function)) calls.push_back(c);
    calls.push_back(99);
  }
  EXPECT_EQ(calls, (std::vector<uint32_t>{0, 1, 2, 99, 3, 4, 5, 6, 99}));
}

}  // namespace
}  // namespace quillmap
