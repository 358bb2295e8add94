#include "render/layout_plan.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(PlanLayout, EngineAndLabelsFollowTheGraphSize) {
  struct Case {
    GraphSize size;
    std::vector<std::string> engines;
    bool limitedDot;
    bool xlabels;
  };
  const Case cases[] = {
      {{0, 0, 0}, {"dot", "sfdp"}, false, false},
      {{150, 300, 100}, {"dot", "sfdp"}, false, false},
      {{151, 10, 0}, {"dot", "sfdp"}, true, false},
      {{100, 301, 101}, {"dot", "sfdp"}, true, true},
      {{1000, 2000, 0}, {"dot", "sfdp"}, true, false},
      {{1001, 10, 0}, {"sfdp"}, false, false},
      {{2900, 18704, 2836}, {"sfdp"}, false, true},
  };
  for (const Case& c : cases) {
    const LayoutPlan plan = PlanLayout(c.size);
    std::vector<std::string> engines;
    for (const LayoutAttempt& attempt : plan.attempts) engines.push_back(attempt.engine);
    SCOPED_TRACE(std::to_string(c.size.nodes) + " nodes, " + std::to_string(c.size.edges));
    EXPECT_EQ(engines, c.engines);
    EXPECT_EQ(plan.labelsAsXlabels, c.xlabels);
    EXPECT_EQ(!plan.attempts.front().graphAttributes.empty() && engines.front() == "dot",
              c.limitedDot);
    // The last attempt may use the whole budget, earlier ones only part of it.
    EXPECT_EQ(plan.attempts.back().budgetEnd, 1.0);
    if (engines.size() > 1) {
      EXPECT_LT(plan.attempts.front().budgetEnd, 1.0);
    }
    EXPECT_EQ(plan.attempts.back().reason.empty(), false);
  }
}

}  // namespace
}  // namespace quillmap
