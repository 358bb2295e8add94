#include "dialog/reach_list.h"

namespace quillmap {

namespace {
constexpr const char* kEntryMain = "main";
constexpr const char* kCalledFrom = "from ";
constexpr const char* kCalls = "calls ";
constexpr const char* kAt = " at ";

// `format` with "%s" (the name), "%f" (the chain's start) and "%n" (the count) put in.
std::string Fill(const char* format, const ReachQuery& query, size_t count,
                 const std::string& names = {}) {
  std::string text;
  for (const char* c = format; *c != '\0'; ++c) {
    if (c[0] != '%' || c[1] == '\0') {
      text += *c;
      continue;
    }
    switch (*++c) {
      case 's':
        text += names.empty() ? query.name : names;
        break;
      case 'f':
        text += query.from;
        break;
      case 'n':
        text += std::to_string(count);
        break;
      default:
        text += '%';
        text += *c;
    }
  }
  return text;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}
}  // namespace

std::string ReachNameOf(const FunctionIndex& index, uint32_t function) {
  std::string name(index.NameOf(function));
  const CallGraphModel& model = index.model();
  if (!model.resolved && index.DefinitionsOf(model.functions[function].name).size() > 1) {
    name += CallGraphModel::kFileQualifier + std::string(index.FileOf(function));
  }
  return name;
}

ReachList::ReachList(const CallReachGraph& graph, const ReachQuery& query,
                     const std::vector<std::string>& deadEntries)
    : graph_(&graph), query_(query) {
  const auto unknown = [this](const std::string& name) {
    heading_ = kUnknownName + name;
    failed_ = true;
  };
  switch (query.kind) {
    case ReachQueryKind::kNone:
      return;
    case ReachQueryKind::kReaches:
    case ReachQueryKind::kReachedBy: {
      const bool callers = query.kind == ReachQueryKind::kReachedBy;
      const std::vector<int32_t> roots = graph.Match({query.name});
      if (roots.empty()) {
        unknown(query.name);
        return;
      }
      rows_ = Reach(graph, roots, callers);
      heading_ = Fill(callers ? kWhatReachesIt : kWhatReaches, query, rows_.size() - roots.size());
      return;
    }
    case ReachQueryKind::kWhy: {
      const std::vector<int32_t> roots = graph.Match({query.from});
      if (roots.empty()) {
        unknown(query.from);
        return;
      }
      const std::vector<int32_t> targets = graph.Match({query.name});
      if (targets.empty()) {
        unknown(query.name);
        return;
      }
      const std::optional<std::vector<int32_t>> chain = ShortestChain(graph, roots, targets);
      if (!chain) {
        heading_ = std::string(kNotReachable) + ": " + query.from + " -> " + query.name;
        return;
      }
      // A target among the roots is reached by no call: the chain starts and ends there.
      const int32_t start = chain->empty() ? targets.front() : graph.EdgeFrom(chain->front());
      rows_.push_back({start, 0, -1});
      for (const int32_t edge : *chain) {
        rows_.push_back({graph.EdgeTo(edge), static_cast<int32_t>(rows_.size()), edge});
      }
      heading_ = Fill(kWhyReachable, query, chain->size());
      return;
    }
    case ReachQueryKind::kDead: {
      DeadQuery dead;
      dead.entries = deadEntries;
      for (const int32_t node : UnreachedFunctions(graph, DeadEntryNodes(graph, dead))) {
        rows_.push_back({node, 0, -1});
      }
      std::vector<std::string> entries{kEntryMain};
      entries.insert(entries.end(), deadEntries.begin(), deadEntries.end());
      heading_ = Fill(kDeadFunctions, query, rows_.size(), Joined(entries));
      return;
    }
  }
}

std::optional<SourceSite> ReachList::DefinitionOf(int32_t node) const {
  const int32_t function = graph_->FunctionOf(node);
  if (function < 0) return std::nullopt;
  const CallGraphModel& model = graph_->model();
  return SourceSite{std::string(graph_->FileOf(node)),
                    model.DetailsOf(model.functions[static_cast<size_t>(function)]).line};
}

SourceSite ReachList::CallSiteOf(int32_t edge) const {
  const CallGraphModel& model = graph_->model();
  return {std::string(graph_->FileOf(graph_->EdgeFrom(edge))),
          model.DetailsOf(model.calls[graph_->EdgeCall(edge)]).line};
}

std::string ReachList::CellText(size_t row, ReachColumn column) const {
  if (row >= rows_.size()) return {};
  const ReachedNode& at = rows_[row];
  switch (column) {
    case ReachColumn::kDepth:
      return query_.kind == ReachQueryKind::kDead ? std::string() : std::to_string(at.depth);
    case ReachColumn::kFunction:
      return std::string(graph_->NameOf(at.node));
    case ReachColumn::kDefinedAt: {
      const std::optional<SourceSite> site = DefinitionOf(at.node);
      return site ? site->file + ":" + std::to_string(site->line) : std::string();
    }
    case ReachColumn::kStep: {
      if (at.edge < 0) return {};
      const SourceSite site = CallSiteOf(at.edge);
      // Against the calls, a row is the caller of the row it was reached from.
      const bool callers = query_.kind == ReachQueryKind::kReachedBy;
      const int32_t other = callers ? graph_->EdgeTo(at.edge) : graph_->EdgeFrom(at.edge);
      return (callers ? kCalls : kCalledFrom) + std::string(graph_->NameOf(other)) + kAt +
             site.file + ":" + std::to_string(site.line);
    }
    case ReachColumn::kKind: {
      if (at.edge < 0) return {};
      std::string kind = CallKindText(graph_->EdgeKind(at.edge));
      if (graph_->EdgeKind(at.edge) == CallKind::kPointer) {
        kind += kCallVia + std::string(graph_->EdgeVia(at.edge));
      }
      return kind;
    }
  }
  return {};
}

std::optional<SourceSite> ReachList::SiteOf(size_t row) const {
  if (row >= rows_.size()) return std::nullopt;
  const ReachedNode& at = rows_[row];
  if (query_.kind == ReachQueryKind::kWhy && at.edge >= 0) return CallSiteOf(at.edge);
  if (std::optional<SourceSite> definition = DefinitionOf(at.node)) return definition;
  if (at.edge >= 0) return CallSiteOf(at.edge);
  return std::nullopt;
}

std::string ReachList::NameAt(size_t row) const {
  return row < rows_.size() ? std::string(graph_->NameOf(rows_[row].node)) : std::string();
}

}  // namespace quillmap
