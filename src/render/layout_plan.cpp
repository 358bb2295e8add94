#include "render/layout_plan.h"

namespace quillmap {

namespace {

constexpr const char* kDot = "dot";
constexpr const char* kSfdp = "sfdp";
// Plain or limited dot gets this share of the budget; sfdp, which finishes on graphs dot cannot
// lay out, the rest.
constexpr double kDotShare = 0.6;

LayoutAttempt LimitedDot() {
  return {kDot,
          {{"nslimit", "2"}, {"nslimit1", "2"}, {"mclimit", "0.5"}, {"searchsize", "10"}},
          kDotShare,
          kNetworkSimplexLimits};
}

}  // namespace

LayoutPlan PlanLayout(const GraphSize& size) {
  LayoutPlan plan;
  plan.labelsAsXlabels = size.labelledEdges > kMaxRankedEdgeLabels;
  const bool plainDot = size.nodes <= kPlainDotMaxNodes && size.edges <= kPlainDotMaxEdges;
  const bool limitedDot = size.nodes <= kLimitedDotMaxNodes && size.edges <= kLimitedDotMaxEdges;
  if (plainDot) {
    plan.attempts.push_back({kDot, {}, kDotShare, ""});
  } else if (limitedDot) {
    plan.attempts.push_back(LimitedDot());
  }
  const std::string sfdpReason = plan.attempts.empty() ? kTooLargeForDot : kFallbackAfterTimeout;
  // "overlap=prism" keeps sfdp's nodes apart, as dot's would be.
  plan.attempts.push_back({kSfdp, {{"overlap", "prism"}}, 1.0, sfdpReason});
  return plan;
}

}  // namespace quillmap
