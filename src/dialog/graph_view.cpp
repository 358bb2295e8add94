#include "dialog/graph_view.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "dialog/module_overview.h"
#include "query/model_query.h"
#include "writers/call_graph_dot.h"

namespace quillmap {

namespace {

// The DOT file as text instead of on disk: the call graph writer writes the view through it.
class TextLineWriter : public LineWriter {
 public:
  std::string text;

 protected:
  bool PrepareTarget(const std::string& path, bool, OutputTarget& target) override {
    target = OutputTarget{};
    target.writePath = path;
    return true;
  }
  bool WriteLineTo(Output&, std::string_view line, bool truncate) override {
    if (truncate) text.clear();
    text.append(line);
    text += "\r\n";
    return true;
  }
};

constexpr const char* kViewPath = "graph view";

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

GraphView::GraphView() = default;
GraphView::~GraphView() = default;

void GraphView::Clear() {
  // The focus the user had is taken up again by the next run's view when that run knows it.
  if (haveRun_) lastFocus_ = focus_;
  haveRun_ = false;
  callGraph_ = nullptr;
  moduleGraph_ = nullptr;
  queryGraph_.reset();
  configured_ = GraphQuery{};
  expandedModules_.clear();
  names_.clear();
  moduleDotPath_.clear();
  focus_ = GraphFocus{};
  history_.clear();
  drawing_ = GraphDrawing{};
}

void GraphView::TakeRun(const ScanRun& run) {
  Clear();
  const GraphFocus before = lastFocus_;
  haveRun_ = true;
  moduleGraph_ = &run.model().moduleGraph;
  callsList_ = run.callsList();
  callGraph_ = &run.model().callGraph;
  // The names as ids into the model's name table: a whole tree has a million of them.
  std::vector<char> used(callGraph_->names.size(), 0);
  for (const FunctionRecord& function : callGraph_->functions) used[function.name] = 1;
  for (const CallRecord& call : callGraph_->calls) used[call.callee] = 1;
  for (NameId id = 0; id < used.size(); ++id) {
    if (used[id]) names_.push_back(id);
  }
  std::sort(names_.begin(), names_.end(),
            [this](NameId a, NameId b) { return callGraph_->NameOf(a) < callGraph_->NameOf(b); });
  dotSettings_ = run.settings().dot;
  // A query the run could not take was reported by the run; the view then shows it all.
  const GraphQueryResult configured = ParseGraphQuery(dotSettings_.queries);
  if (configured.error.empty()) configured_ = configured.query;
  hidden_ = configured_.omit;
  unexpanded_ = configured_.leaf;
  if (!before.name.empty() && Knows(before.name)) {
    focus_ = before;
  } else if (!configured_.focus.empty() && Knows(configured_.focus.front())) {
    focus_.name = configured_.focus.front();
    focus_.direction = configured_.direction;
    if (configured_.depth != kNoLimit) focus_.depth = configured_.depth;
  }
  const ModuleTable& modules = run.moduleTable();
  if (modules.moduleCount > 0 && !modules.moduleDotPath.empty()) {
    moduleDotPath_ = modules.moduleDotPath;
  }
}

void GraphView::SetKind(GraphKind kind) { kind_ = kind; }

namespace {
void AddOnce(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}
}  // namespace

void GraphView::Hide(const std::string& name) {
  AddOnce(hidden_, name);
  if (focus_.name == name) Back();
}

void GraphView::DoNotExpand(const std::string& name) { AddOnce(unexpanded_, name); }

void GraphView::ExpandModule(const std::string& module) { AddOnce(expandedModules_, module); }

bool GraphView::Knows(const std::string& name) const {
  const auto at = std::lower_bound(
      names_.begin(), names_.end(), name,
      [this](NameId id, const std::string& wanted) { return callGraph_->NameOf(id) < wanted; });
  return at != names_.end() && callGraph_->NameOf(*at) == name;
}

bool GraphView::Focus(const std::string& name) {
  if (!Knows(name) || name == focus_.name) return false;
  history_.push_back(focus_);
  focus_.name = name;
  kind_ = GraphKind::kCallGraph;
  return true;
}

void GraphView::SetFocusShape(QueryDirection direction, int depth) {
  focus_.direction = direction;
  focus_.depth = depth;
}

bool GraphView::Back() {
  if (history_.empty()) return false;
  focus_ = history_.back();
  history_.pop_back();
  return true;
}

std::vector<std::string> GraphView::Search(const std::string& text) const {
  std::vector<std::string> found;
  if (text.empty()) return found;
  const std::string wanted = Lowered(text);
  for (const NameId id : names_) {
    const std::string name(callGraph_->NameOf(id));
    if (Lowered(name).find(wanted) == std::string::npos) continue;
    found.push_back(name);
    if (found.size() == kMaxSearchResults) break;
  }
  return found;
}

std::string GraphView::DotText(std::string& error) const {
  error.clear();
  if (!haveRun_) {
    error = kNoGraphYet;
    return {};
  }
  if (kind_ == GraphKind::kModuleGraph) {
    if (moduleDotPath_.empty() || moduleGraph_ == nullptr) {
      error = kNoModuleGraph;
      return {};
    }
    return ModuleOverviewDot(*moduleGraph_, expandedModules_);
  }
  GraphQuery query;
  query.omit = hidden_;
  query.leaf = unexpanded_;
  if (!focus_.name.empty()) {
    query.focus = {focus_.name};
    query.direction = focus_.direction;
    query.depth = focus_.depth;
    query.maxNodes = kMaxDrawnNodes;
  } else if (names_.size() - std::min(names_.size(), hidden_.size()) >
             static_cast<size_t>(kMaxDrawnNodes)) {
    error = std::to_string(names_.size()) + kTooManyToDraw;
    return {};
  }
  // Built once a run: on a whole tree building it takes most of a focus's time.
  if (!queryGraph_) {
    queryGraph_ = std::make_unique<CallQueryGraph>(BuildCallQueryGraph(*callGraph_));
  }
  const GraphSelection selection = SelectCallGraph(*callGraph_, *queryGraph_, query);
  if (!selection.error.empty()) {
    error = selection.error;
    return {};
  }
  TextLineWriter writer;
  WriteCallGraphDot(dotSettings_, writer, callsList_, *callGraph_, kViewPath,
                    query.active() ? &selection : nullptr);
  return writer.text;
}

const GraphDrawing& GraphView::Redraw() {
  drawing_ = GraphDrawing{};
  const std::string dot = DotText(drawing_.error);
  if (dot.empty()) return drawing_;
  if (!renderer_) renderer_ = std::make_unique<GraphRenderer>();
  drawing_ = renderer_->Draw(dot, kGraphViewLayoutSeconds);
  if (!drawing_.error.empty()) drawing_.error = kNotDrawn + drawing_.error;
  return drawing_;
}

std::string GraphView::DrawPart(const DrawingPart& part) {
  return renderer_ && drawing_.error.empty() ? renderer_->DrawPart(drawing_, part) : std::string();
}

std::string GraphView::NodeAt(double x, double y) const {
  for (const DrawnNode& node : drawing_.nodes) {
    if (x >= node.left && x <= node.left + node.width && y >= node.top &&
        y <= node.top + node.height) {
      return node.name;
    }
  }
  return {};
}

}  // namespace quillmap
