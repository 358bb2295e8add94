/// Pictures of DOT files drawn through Graphviz's C library (libgvc), without starting `dot`.
/// Each layout runs in a child process with a deadline, because a layout cannot be interrupted
/// in-process: the child writes temporary files, which become the pictures only when it finished.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "render/layout_plan.h"
#include "render/render_settings.h"

namespace quillmap {

/// Tooltips by node name, set on the parsed graph before layout (the DOT file stays as written).
using NodeTooltips = std::unordered_map<std::string, std::string>;

/// What rendering one DOT file did: log entries in order, and whether it failed.
struct RenderResult {
  std::vector<std::string> entries;
  bool failed = false;
};

/// Log entries of the renderer (followed by the path and details).
inline constexpr const char* kRenderedEntry = "rendered: ";
inline constexpr const char* kNotRenderedEntry = "not rendered: ";
inline constexpr const char* kLabelsAsXlabels = "edge labels drawn as xlabel: ";

/// A node of a drawing: its box in points of the picture (origin top left, one point a pixel
/// of the PNG at a picture scale of 1) and its name.
struct DrawnNode {
  double left = 0, top = 0, width = 0, height = 0;
  std::string name;
};

/// The most pixels a drawing's PNG has: a larger picture is drawn at a smaller scale (it stands
/// in for the parts drawn at their own scale, and a whole picture of a hundred callers would
/// take most of a focus's time to encode and decode).
inline constexpr double kMaxDrawingPixels = 1 << 20;

/// A graph drawn in memory for a window: the PNG and where its nodes are; or why not.
struct GraphDrawing {
  std::string png;
  /// Pixels of the PNG a point of the picture: 1, or less for a picture over kMaxDrawingPixels.
  double pictureScale = 1;
  std::vector<DrawnNode> nodes;
  std::string error;  // empty when drawn
  /// The graph with its layout (DOT with positions), for drawing parts of it at other scales,
  /// and where the picture's top left corner stands in the layout's coordinates.
  std::string laidOut;
  double layoutLeft = 0, layoutTop = 0;
};

/// A part of a drawing drawn anew: `width` by `height` pixels, `zoom` pixels a point of the
/// picture, around a centre given in points of the picture (top-left origin, as DrawnNode).
struct DrawingPart {
  int width = 0, height = 0;
  double zoom = 1;
  double centerX = 0, centerY = 0;
};

class GraphRenderer {
 public:
  GraphRenderer();
  ~GraphRenderer();
  GraphRenderer(const GraphRenderer&) = delete;
  GraphRenderer& operator=(const GraphRenderer&) = delete;

  /// The output formats that Graphviz offers here for files (interactive ones and "dot", whose
  /// picture would overwrite its DOT file, left out), sorted.
  const std::vector<std::string>& formats() const { return formats_; }

  /// Lays out the DOT file at `dotPath` once and writes one picture per format next to it.
  RenderResult Render(const std::string& dotPath, const RenderSettings& settings,
                      const NodeTooltips& tooltips);

  /// Lays out the DOT text and draws it as a PNG in memory, within `budgetSeconds` (the layout
  /// runs in a child process, as for Render), with the box of every node.
  GraphDrawing Draw(const std::string& dotText, double budgetSeconds);
  /// Draws a part of `drawing` from its layout as a PNG, text and lines drawn at the part's own
  /// scale (not a scaled picture); "" when it cannot. Takes no new layout, so it runs here.
  std::string DrawPart(const GraphDrawing& drawing, const DrawingPart& part);

 private:
  struct Context;
  Context* context_;
  std::vector<std::string> formats_;
};

}  // namespace quillmap
