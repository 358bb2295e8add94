// Cycles between modules: one shortest cycle per strongly connected group, chosen the same way
// whatever order the calls were found in, and bounded on dense graphs.
#include "rules/module_cycles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmap {
namespace {

using Cycles = std::vector<std::vector<int32_t>>;

TEST(ShortestCyclePerComponent, OneShortestCyclePerGroupFromItsLowestModule) {
  const struct {
    const char* name;
    ModuleAdjacency calls;
    Cycles expected;
  } cases[] = {
      {"no modules", {}, {}},
      {"a chain has no cycle", {{1}, {2}, {}}, {}},
      {"calls within a module are no cycle", {{0, 1}, {1}}, {}},
      {"a triangle", {{1}, {2}, {0}}, {{0, 1, 2}}},
      {"the found order does not matter", {{2}, {0}, {1}}, {{0, 2, 1}}},
      {"the shorter of two cycles through a module", {{1, 3}, {2}, {0}, {0}}, {{0, 3}}},
      {"two groups, each reported", {{1}, {0}, {3}, {4}, {2}}, {{0, 1}, {2, 3, 4}}},
      {"a self-call beside a cycle", {{0, 1}, {0}}, {{0, 1}}},
      {"lowest start, lowest next module", {{3, 2}, {0}, {1}, {1}}, {{0, 2, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShortestCyclePerComponent(c.calls), c.expected);
  }
}

TEST(ShortestCyclePerComponent, AllPairsOfTwoHundredModulesGiveOneTwoModuleCycle) {
  ModuleAdjacency calls(200);
  for (int32_t a = 0; a < 200; ++a) {
    for (int32_t b = 199; b >= 0; --b) {
      if (a != b) calls[a].push_back(b);
    }
  }
  EXPECT_EQ(ShortestCyclePerComponent(calls), (Cycles{{0, 1}}));
}

TEST(ShortestCyclePerComponent, ALongRingIsReportedWhole) {
  ModuleAdjacency calls(150);
  for (int32_t m = 0; m < 150; ++m) calls[m].push_back((m + 1) % 150);
  const Cycles cycles = ShortestCyclePerComponent(calls);
  ASSERT_EQ(cycles.size(), 1u);
  EXPECT_EQ(cycles[0].size(), 150u);
  EXPECT_EQ(cycles[0][149], 149);
}

}  // namespace
}  // namespace quillmap
