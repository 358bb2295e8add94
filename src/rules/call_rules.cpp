#include "rules/call_rules.h"

#include <unordered_map>

#include "files/paths.h"
#include "rules/module_rules.h"

namespace quillmap {

namespace {
constexpr const char* kRuleArrow = "->";
constexpr const char* kChainArrow = " -> ";
constexpr const char* kCalls = " calls ";
constexpr const char* kThrough = " through ";
constexpr const char* kMalformed = ": malformed rule (write ROOTS -> FORBIDDEN): \"";
constexpr const char* kMatchesNothing = ": no function matches ";
constexpr char kListSeparator = ',';
constexpr char kFileMark = '@';
}  // namespace

std::vector<std::string> SplitRulePatterns(std::string_view text) {
  std::vector<std::string> patterns;
  while (true) {
    const size_t comma = text.find(kListSeparator);
    std::string pattern = Trim(text.substr(0, comma));
    if (!pattern.empty()) patterns.push_back(std::move(pattern));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return patterns;
}

namespace {
std::string JoinPatterns(const std::vector<std::string>& patterns) {
  std::string text;
  for (const std::string& pattern : patterns) text += (text.empty() ? "" : ", ") + pattern;
  return text;
}
}  // namespace

std::string ForbidReachRule::Text() const {
  return JoinPatterns(roots) + " " + kRuleArrow + " " + JoinPatterns(forbidden);
}

CallRuleReading ReadCallRules(const RuleKeyLookup& value, const std::string& cfgDir,
                              const std::string& moduleBaseline) {
  CallRuleReading reading;
  CallRules& rules = reading.rules;
  for (int n = 0; n < kMaxCallRules; ++n) {
    const std::string key = kForbidReachPrefix + std::to_string(n);
    const std::string text = value(key);
    if (text.empty()) break;
    const size_t arrow = text.find(kRuleArrow);
    ForbidReachRule rule{key, {}, {}};
    if (arrow != std::string::npos) {
      rule.roots = SplitRulePatterns(std::string_view(text).substr(0, arrow));
      rule.forbidden = SplitRulePatterns(std::string_view(text).substr(arrow + 2));
    }
    if (rule.roots.empty() || rule.forbidden.empty()) {
      reading.errors.push_back("error in " + key + kMalformed + text + "\"");
      continue;
    }
    rules.forbidReach.push_back(std::move(rule));
  }
  rules.entries = SplitRulePatterns(value(kEntryKey));
  const std::string baseline = value(kBaselineKey);
  rules.baselinePath = baseline.empty() ? moduleBaseline : ResolvePath(baseline, cfgDir);
  return reading;
}

std::string NodeText(const CallReachGraph& graph, int32_t node, const std::string& cfgDir) {
  std::string text(graph.NameOf(node));
  if (graph.FunctionOf(node) < 0) return text;
  // Namesakes are told apart by their files; a name defined once needs none.
  if (graph.IsNamesake(node)) {
    text += kFileMark + DisplayPath(std::string(graph.FileOf(node)), cfgDir);
  }
  return text;
}

std::string WitnessStep(const CallReachGraph& graph, int32_t edge, const std::string& cfgDir) {
  const CallGraphModel& model = graph.model();
  const int32_t caller = graph.EdgeFrom(edge);
  const CallDetails details = model.DetailsOf(model.calls[graph.EdgeCall(edge)]);
  return NodeText(graph, caller, cfgDir) + " (" +
         DisplayPath(std::string(graph.FileOf(caller)), cfgDir) + ":" +
         std::to_string(details.line) + ")" + kCalls + NodeText(graph, graph.EdgeTo(edge), cfgDir) +
         (graph.EdgeKind(edge) == CallKind::kPointer ? kThrough + std::string(graph.EdgeVia(edge))
                                                     : std::string());
}

std::string_view CallRuleKey(std::string_view line) {
  const size_t mark = line.find(kReachableMark);
  return mark == std::string_view::npos ? line : line.substr(0, mark);
}

CallRuleCheckResult CheckCallRules(const CallRules& rules, const CallReachGraph& graph,
                                   const std::string& cfgDir) {
  CallRuleCheckResult result;
  for (size_t r = 0; r < rules.forbidReach.size(); ++r) {
    const ForbidReachRule& rule = rules.forbidReach[r];
    for (const std::vector<std::string>* side : {&rule.roots, &rule.forbidden}) {
      for (const std::string& pattern : *side) {
        if (graph.Match({pattern}, side == &rule.roots).empty()) {
          result.notes.push_back(rule.key + kMatchesNothing + pattern);
        }
      }
    }
    const std::vector<int32_t> roots = graph.Match(rule.roots, true);
    if (roots.empty()) continue;
    std::vector<char> forbidden(static_cast<size_t>(graph.nodeCount()), 0);
    for (const int32_t node : graph.Match(rule.forbidden)) forbidden[node] = 1;
    const std::vector<ReachedNode> reached = Reach(graph, roots, false);
    const ReachIndex index = IndexReach(graph, reached);
    for (const ReachedNode& node : reached) {
      if (!forbidden[node.node]) continue;
      CallRuleViolation violation;
      violation.rule = r;
      violation.chain = ChainTo(graph, index.edgeByNode, node.node);
      std::string chain;
      if (violation.chain.empty()) {
        chain = NodeText(graph, node.node, cfgDir);
      } else {
        chain = NodeText(graph, graph.EdgeFrom(violation.chain.front()), cfgDir);
        for (const int32_t edge : violation.chain) {
          chain += kChainArrow + NodeText(graph, graph.EdgeTo(edge), cfgDir);
        }
      }
      violation.line = std::string(kRuleViolated) + rule.key + " (" + rule.Text() +
                       "): " + NodeText(graph, node.node, cfgDir) + kReachableMark + chain;
      result.violations.push_back(std::move(violation));
    }
  }
  return result;
}

}  // namespace quillmap
