#include "reach/reach_report.h"

#include <nlohmann/json.hpp>

#include "text/text_utils.h"

namespace quillmap {

namespace {
using Json = nlohmann::ordered_json;

constexpr const char* kUnknownName = "unknown name: ";
constexpr const char* kEntryMain = "main";
constexpr const char* kReachHeader = "depth,function,file,line\n";
constexpr const char* kWhyHeader = "step,caller,callee,file,line,kind,via\n";

constexpr const char* kDeadHeader = "function,file,line\n";

std::string Shown(std::string_view file, const std::string& cfgDir) {
  if (!cfgDir.empty() && file.starts_with(cfgDir)) file.remove_prefix(cfgDir.size());
  return std::string(file);
}

// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string Field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

int32_t DefinitionLine(const CallReachGraph& graph, int32_t node) {
  const int32_t function = graph.FunctionOf(node);
  if (function < 0) return 0;
  return graph.model().DetailsOf(graph.model().functions[static_cast<size_t>(function)]).line;
}

std::string Dump(const Json& json) {
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json NodeJson(const CallReachGraph& graph, int32_t node, const std::string& cfgDir) {
  Json entry;
  entry["name"] = graph.NameOf(node);
  if (graph.FunctionOf(node) >= 0) {
    entry["file"] = Shown(graph.FileOf(node), cfgDir);
    entry["line"] = DefinitionLine(graph, node);
  } else {
    entry["file"] = nullptr;
    entry["line"] = nullptr;
  }
  return entry;
}

std::string NodeCsv(const CallReachGraph& graph, int32_t node, const std::string& cfgDir) {
  if (graph.FunctionOf(node) < 0) return Field(graph.NameOf(node)) + ",,";
  return Field(graph.NameOf(node)) + "," + Field(Shown(graph.FileOf(node), cfgDir)) + "," +
         std::to_string(DefinitionLine(graph, node));
}

bool WordBefore(std::string_view header, std::string_view name, std::string_view word) {
  // The word as a whole word before the function's name.
  const size_t nameAt = header.find(name);
  const std::string_view before = header.substr(0, nameAt);
  for (size_t at = before.find(word); at != std::string_view::npos;
       at = before.find(word, at + 1)) {
    const bool startOk = at == 0 || !IsIdentifierChar(before[at - 1]);
    const size_t end = at + word.size();
    const bool endOk = end >= before.size() || !IsIdentifierChar(before[end]);
    if (startOk && endOk) return true;
  }
  return false;
}
}  // namespace

const char* CallKindText(CallKind kind) {
  return kind == CallKind::kPointer ? "pointer" : kind == CallKind::kMacro ? "macro" : "direct";
}

bool IsStaticDefinition(const CallGraphModel& model, const FunctionRecord& function) {
  if (model.resolved) return function.isStatic;
  const FunctionDetails details = model.DetailsOf(function);
  return WordBefore(details.header, model.NameOf(function.name), "static");
}

ReachAnswer AnswerReach(const CallReachGraph& graph, const std::string& name, bool callers,
                        ReachFormat format, const std::string& cfgDir) {
  const std::vector<int32_t> roots = graph.Match({name});
  if (roots.empty()) return {{}, kUnknownName + name};
  const std::vector<ReachedNode> reached = Reach(graph, roots, callers);
  ReachAnswer answer;
  if (format == ReachFormat::kCsv) {
    answer.text = kReachHeader;
    for (const ReachedNode& node : reached) {
      answer.text += std::to_string(node.depth) + "," + NodeCsv(graph, node.node, cfgDir) + "\n";
    }
    return answer;
  }
  Json functions = Json::array();
  for (const ReachedNode& node : reached) {
    Json entry = NodeJson(graph, node.node, cfgDir);
    entry["depth"] = node.depth;
    functions.push_back(std::move(entry));
  }
  answer.text = Dump({{"query", "reach"},
                      {"name", name},
                      {"direction", callers ? "callers" : "callees"},
                      {"functions", functions}});
  return answer;
}

ReachAnswer AnswerWhy(const CallReachGraph& graph, const std::string& from, const std::string& to,
                      ReachFormat format, const std::string& cfgDir) {
  const std::vector<int32_t> roots = graph.Match({from});
  if (roots.empty()) return {{}, kUnknownName + from};
  const std::vector<int32_t> targets = graph.Match({to});
  if (targets.empty()) return {{}, kUnknownName + to};
  const std::optional<std::vector<int32_t>> found = ShortestChain(graph, roots, targets);
  const std::vector<int32_t> chain = found.value_or(std::vector<int32_t>{});
  const CallGraphModel& model = graph.model();
  ReachAnswer answer;
  if (format == ReachFormat::kCsv) {
    if (!found) {
      answer.text = std::string(kNotReachable) + ": " + from + " -> " + to + "\n";
      return answer;
    }
    answer.text = kWhyHeader;
    int step = 0;
    for (const int32_t edge : chain) {
      const CallDetails details = model.DetailsOf(model.calls[graph.EdgeCall(edge)]);
      answer.text += std::to_string(++step) + "," + Field(graph.NameOf(graph.EdgeFrom(edge))) +
                     "," + Field(graph.NameOf(graph.EdgeTo(edge))) + "," +
                     Field(Shown(graph.FileOf(graph.EdgeFrom(edge)), cfgDir)) + "," +
                     std::to_string(details.line) + "," + CallKindText(graph.EdgeKind(edge)) + "," +
                     Field(graph.EdgeVia(edge)) + "\n";
    }
    return answer;
  }
  Json steps = Json::array();
  for (const int32_t edge : chain) {
    const CallDetails details = model.DetailsOf(model.calls[graph.EdgeCall(edge)]);
    steps.push_back({{"caller", graph.NameOf(graph.EdgeFrom(edge))},
                     {"callee", graph.NameOf(graph.EdgeTo(edge))},
                     {"file", Shown(graph.FileOf(graph.EdgeFrom(edge)), cfgDir)},
                     {"line", details.line},
                     {"kind", CallKindText(graph.EdgeKind(edge))},
                     {"via", graph.EdgeKind(edge) != CallKind::kDirect ? Json(graph.EdgeVia(edge))
                                                                       : Json(nullptr)}});
  }
  answer.text = Dump({{"query", "why"},
                      {"from", from},
                      {"to", to},
                      {"reachable", found.has_value()},
                      {"chain", steps}});
  return answer;
}

std::vector<int32_t> DeadEntryNodes(const CallReachGraph& graph, const DeadQuery& query) {
  std::vector<std::string> patterns = query.entries;
  patterns.push_back(kEntryMain);
  std::vector<int32_t> entries = graph.Match(patterns, true);
  const CallGraphModel& model = graph.model();
  if (query.externalEntries) {
    for (size_t f = 0; f < model.functions.size(); ++f) {
      if (!IsStaticDefinition(model, model.functions[f])) {
        entries.push_back(graph.NodeOfFunction(f));
      }
    }
  }
  // A function registered in a dispatch table or passed as a value may be called through the
  // pointer from anywhere: it counts as an entry.
  for (int32_t edge = 0; edge < graph.edgeCount(); ++edge) {
    if (graph.EdgeKind(edge) == CallKind::kPointer) entries.push_back(graph.EdgeTo(edge));
  }
  return entries;
}

ReachAnswer AnswerDead(const CallReachGraph& graph, const DeadQuery& query, ReachFormat format,
                       const std::string& cfgDir) {
  std::vector<std::string> patterns = query.entries;
  patterns.push_back(kEntryMain);
  const std::vector<int32_t> entries = DeadEntryNodes(graph, query);
  const std::vector<int32_t> dead = UnreachedFunctions(graph, entries);
  ReachAnswer answer;
  if (format == ReachFormat::kCsv) {
    answer.text = kDeadHeader;
    for (const int32_t node : dead) answer.text += NodeCsv(graph, node, cfgDir) + "\n";
    return answer;
  }
  Json functions = Json::array();
  for (const int32_t node : dead) functions.push_back(NodeJson(graph, node, cfgDir));
  answer.text = Dump({{"query", "dead"},
                      {"entries", patterns},
                      {"externalEntries", query.externalEntries},
                      {"functions", functions}});
  return answer;
}

}  // namespace quillmap
