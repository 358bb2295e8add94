#include "dialog/calls_tree.h"

#include <gtest/gtest.h>

#include "reach/reach_test_model.h"

namespace quillmap {
namespace {

// The labels below `node`, each with a '+' when it can be expanded.
std::vector<std::string> Below(const FunctionIndex& index, const CallsTreeNode& node) {
  std::vector<std::string> labels;
  for (const CallsTreeNode& child : CallsTreeChildren(index, node)) {
    labels.push_back(CallsTreeLabel(index, child) +
                     (CallsTreeHasChildren(index, child) ? " +" : ""));
  }
  return labels;
}

TEST(CallsTree, ExpandsCallersOfCallersAndCalleesOfCalleesWithTheirSites) {
  // main (line 1) calls init at 2 and s at 3; s (line 5, defined twice) calls init at 6;
  // init (line 8) calls printf at 9, which no one defines.
  CallGraphModel model;
  model.sources.push_back({"m.c", true, ""});
  model.AddFunction("main", "", 0, 1, 1);
  model.AddCall("init", "init", 0, {}, 2);
  model.AddCall("s", "s", 0, {}, 3);
  model.AddFunction("s", "", 0, 5, 5);
  model.AddCall("init", "init", 0, {}, 6);
  model.AddFunction("init", "", 0, 8, 8);
  model.AddCall("printf", "printf", 0, {}, 9);
  model.AddFunction("s", "", 0, 11, 11);
  const FunctionIndex index(model);

  const std::vector<CallsTreeNode> roots = CallsTreeRoots(2);
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(CallsTreeLabel(index, roots[0]), "callers of init (2)");
  EXPECT_EQ(CallsTreeLabel(index, roots[1]), "callees of init (1)");
  EXPECT_EQ(CallsTreeSite(index, roots[0]), (SourceSite{"m.c", 8}));
  EXPECT_EQ(Below(index, roots[0]), (std::vector<std::string>{"main  m.c:2", "s  m.c:6 +"}));
  EXPECT_EQ(Below(index, roots[1]), (std::vector<std::string>{"printf  m.c:9"}));

  // The callers of the caller s; the callees of main's callee s (both definitions of s).
  const CallsTreeNode callerS = CallsTreeChildren(index, roots[0])[1];
  EXPECT_EQ(CallsTreeSite(index, callerS), (SourceSite{"m.c", 6}));
  EXPECT_EQ(Below(index, callerS), (std::vector<std::string>{"main  m.c:3"}));
  const CallsTreeNode calleeS = CallsTreeChildren(index, CallsTreeRoots(0)[1])[1];
  EXPECT_EQ(CallsTreeLabel(index, calleeS), "s  m.c:3");
  EXPECT_EQ(Below(index, calleeS), (std::vector<std::string>{"init  m.c:6 +"}));
  EXPECT_FALSE(CallsTreeHasChildren(index, CallsTreeRoots(3)[1]));  // the second s calls nothing
}

// A resolved model knows how each call goes: by name, or through a pointer with its dispatch.
TEST(CallsTree, ResolvedCallsSayHowTheyGo) {
  // uart_write (line 1) calls printf at 2; isr_tx (3) calls it through o->write at 4, and
  // uart_write by name at 5.
  const CallGraphModel model = BuildResolvedTestModel(
      "drv.c: static uart_write -> printf; isr_tx -> o->write=uart_write uart_write");
  const FunctionIndex index(model);
  EXPECT_EQ(Below(index, CallsTreeRoots(1)[1]),
            (std::vector<std::string>{"uart_write  drv.c:4  pointer via o->write +",
                                      "uart_write  drv.c:5  direct +"}));
  EXPECT_EQ(Below(index, CallsTreeRoots(0)[0]),
            (std::vector<std::string>{"isr_tx  drv.c:4  pointer via o->write",
                                      "isr_tx  drv.c:5  direct"}));
  EXPECT_EQ(Below(index, CallsTreeRoots(0)[1]),
            (std::vector<std::string>{"printf  drv.c:2  direct"}));
}

}  // namespace
}  // namespace quillmap
