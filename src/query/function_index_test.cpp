#include "query/function_index.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

// Functions from "name:callee,callee" texts in file order; "s" stands twice (two static
// functions of one name), and "printf" is only called.
CallGraphModel Model(const std::vector<std::string>& functions) {
  CallGraphModel model;
  model.sources.push_back({"a.c", true, ""});
  int line = 1;
  for (const std::string& text : functions) {
    const size_t colon = text.find(':');
    model.AddFunction(text.substr(0, colon), "", 0, line, line);
    for (size_t at = colon; at != std::string::npos && at + 1 < text.size();) {
      const size_t end = text.find(',', at + 1);
      const std::string callee = text.substr(at + 1, end - at - 1);
      model.AddCall(callee, callee, 0, {}, ++line);
      at = end;
    }
    line += 2;
  }
  return model;
}

TEST(FunctionIndex, CountsCallersAndCalleesAndFindsEachSide) {
  const CallGraphModel model =
      Model({"main:s,init,printf,init", "init:", "s:printf", "s:init", "idle:"});
  const FunctionIndex index(model);
  struct Expected {
    uint32_t function;
    std::string name;
    int32_t line;
    uint32_t callers, callees;
  };
  // "init" is called twice by main (two call texts), once by the second "s": two callers.
  const Expected table[] = {{0, "main", 1, 0, 3},
                            {1, "init", 7, 2, 0},
                            {2, "s", 9, 1, 1},
                            {3, "s", 12, 1, 1},
                            {4, "idle", 15, 0, 0}};
  for (const Expected& e : table) {
    EXPECT_EQ(index.NameOf(e.function), e.name) << e.function;
    EXPECT_EQ(index.LineOf(e.function), e.line) << e.name;
    EXPECT_EQ(index.FileOf(e.function), "a.c") << e.name;
    EXPECT_EQ(index.CallerCount(e.function), e.callers) << e.name;
    EXPECT_EQ(index.CalleeCount(e.function), e.callees) << e.name;
  }
  const NameId init = model.functions[1].name;
  EXPECT_EQ(index.CallersOf(init), (std::vector<CallSite>{{0, 1}, {0, 3}, {3, 5}}));
  EXPECT_EQ(index.LineOfCall(5), 13);
  EXPECT_EQ(index.CalleesOf(2), (std::vector<CallSite>{{2, 4}}));
  EXPECT_EQ(index.DefinitionsOf(model.functions[2].name), (std::vector<uint32_t>{2, 3}));
  EXPECT_TRUE(index.DefinitionsOf(model.calls[2].callee).empty());  // printf
  // A function without calls stands between two that have some.
  for (uint32_t call = 0; call < model.calls.size(); ++call) {
    const FunctionRecord& caller = model.functions[index.CallerOf(call)];
    EXPECT_TRUE(call >= caller.firstCall && call < caller.firstCall + caller.callCount) << call;
  }
  EXPECT_EQ(index.byName(), (std::vector<uint32_t>{4, 1, 0, 2, 3}));
  EXPECT_EQ(index.Find("s"), 2u);
  EXPECT_EQ(index.Find("main"), 0u);
  EXPECT_EQ(index.Find("printf"), std::nullopt);
}

}  // namespace
}  // namespace quillmap
