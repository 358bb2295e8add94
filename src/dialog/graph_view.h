/// The dialog's Graph view, free of any toolkit: which graph of the last run it shows (the call
/// graph or the module graph), the focus the user clicked into with its way back, the search
/// for a function, and the drawing that the window paints and hit-tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "query/graph_query.h"
#include "query/model_query.h"
#include "render/graph_renderer.h"
#include "scan/scan_run.h"

namespace quillmap {

/// Graphs with more nodes than this are not drawn whole; a focus shows at most this many.
inline constexpr int kMaxDrawnNodes = 150;
/// The layout's time budget for the view, in seconds.
inline constexpr double kGraphViewLayoutSeconds = 8;
/// The focus depth a click starts with.
inline constexpr int kDefaultFocusDepth = 2;
/// How many names a search offers.
inline constexpr size_t kMaxSearchResults = 50;

inline constexpr const char* kNoGraphYet = "no graph: run a scan first";
inline constexpr const char* kNoModuleGraph = "the last run wrote no module graph";
inline constexpr const char* kTooManyToDraw =
    " nodes are too many to draw whole: search for a function, or click one, to focus on it";
inline constexpr const char* kNotDrawn = "not drawn: ";

enum class GraphKind { kCallGraph, kModuleGraph };

/// What the view shows of the call graph: everything, or the part around one function.
struct GraphFocus {
  std::string name;  // "" for the whole graph
  QueryDirection direction = QueryDirection::kBoth;
  int depth = kDefaultFocusDepth;
  bool operator==(const GraphFocus&) const = default;
};

class GraphView {
 public:
  GraphView();
  ~GraphView();

  /// Takes the graphs of a finished run; the focus history starts afresh. The view starts where
  /// the last run's view stood if this run knows its focus, else at the run's "[dot]" focus; the
  /// run's "omit" and "leaf" apply to every view, and its DOT settings to every drawing.
  void TakeRun(const ScanRun& run);
  /// Forgets the graphs (a new run started).
  void Clear();

  void SetKind(GraphKind kind);
  GraphKind kind() const { return kind_; }

  /// Focuses the call graph on `name`, remembering the current focus for Back. False (and no
  /// change) when the run found no function or call of that name.
  bool Focus(const std::string& name);
  /// Changes the current focus's direction and depth (no history entry).
  void SetFocusShape(QueryDirection direction, int depth);
  /// Back to the focus before; false when there is none.
  bool Back();
  bool canGoBack() const { return !history_.empty(); }
  const GraphFocus& focus() const { return focus_; }

  /// Leaves `name` out of the view (a right click's "hide"), or draws it without its calls
  /// ("show but do not expand"). Both last until the next run's configuration says otherwise.
  void Hide(const std::string& name);
  void DoNotExpand(const std::string& name);
  const std::vector<std::string>& hidden() const { return hidden_; }
  const std::vector<std::string>& unexpanded() const { return unexpanded_; }

  /// The module graph as one box a module, edges as wide as the calls they stand for; modules
  /// named in `expanded` show their functions.
  void ExpandModule(const std::string& module);
  const std::vector<std::string>& expandedModules() const { return expandedModules_; }

  /// The names of the call graph that contain `text` (case-insensitively), sorted, at most
  /// kMaxSearchResults.
  std::vector<std::string> Search(const std::string& text) const;
  /// Whether `name` is a node of the call graph.
  bool Knows(const std::string& name) const;

  /// The DOT text of what the view shows now, or "" with `error` saying why it shows nothing.
  std::string DotText(std::string& error) const;
  /// Lays out and draws what the view shows now.
  const GraphDrawing& Redraw();
  const GraphDrawing& drawing() const { return drawing_; }
  /// A part of the drawing drawn anew at its own scale (PNG), "" when there is no drawing.
  std::string DrawPart(const DrawingPart& part);
  /// The node at a point of the drawing (in its points), or "".
  std::string NodeAt(double x, double y) const;

 private:
  GraphKind kind_ = GraphKind::kCallGraph;
  bool haveRun_ = false;
  CallGraphDotSettings dotSettings_;
  StringList callsList_;
  // The run's own model, which stays until the next run starts (and Clear is called).
  const CallGraphModel* callGraph_ = nullptr;
  const ModuleModel* moduleGraph_ = nullptr;
  mutable std::unique_ptr<CallQueryGraph> queryGraph_;  // built at the first query of a run
  GraphQuery configured_;  // the configuration's "[dot]" query options
  std::vector<std::string> hidden_;
  std::vector<std::string> unexpanded_;
  std::vector<std::string> expandedModules_;
  std::vector<NameId> names_;  // of the call graph's nodes, sorted by their text
  std::string moduleDotPath_;
  GraphFocus focus_;
  GraphFocus lastFocus_;  // the focus of the last run's view
  std::vector<GraphFocus> history_;
  std::unique_ptr<GraphRenderer> renderer_;
  GraphDrawing drawing_;
};

}  // namespace quillmap
