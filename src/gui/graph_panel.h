/// The Graph view on the desktop: the drawing of the last run's call graph or module graph with
/// pan (drag), zoom (buttons, Ctrl+wheel) and fit, a search for a function, the focus's
/// direction and depth, and a click on a function to focus on it, with Back. The choices
/// themselves are GraphView's; this panel paints and forwards.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>
#include <wx/timer.h>

#include <functional>
#include <string>

#include "dialog/graph_view.h"
#include "dialog/reach_list.h"

class wxChoice;
class wxComboBox;
class wxSpinCtrl;
class wxButton;
class wxMenu;

namespace quillmap {

class GraphCanvas;

class GraphPanel : public wxPanel {
 public:
  /// Control IDs, for tests and the window's handlers.
  enum : int {
    kKindChoice = 1101,
    kSearchBox,
    kDirectionChoice,
    kDepthSpin,
    kBackButton,
    kFitButton,
    kZoomInButton,
    kZoomOutButton,
    kCanvas,
    // The items of a node's context menu.
    kFocusItem,
    kHideItem,
    kDoNotExpandItem,
    kCopyNameItem,
    kOpenCodeItem,
  };

  GraphPanel(wxWindow* parent, GraphView& view);

  /// Draws what the view shows now and, when asked, fits it into the panel.
  void Redraw(bool fit = true);
  /// Focuses on `name` (a click or a search) and draws; false when the view does not know it.
  bool FocusOn(const std::string& name);
  /// A click at a point of the drawing (in its pixels): focuses on the function there.
  bool ClickAt(double x, double y);
  /// The context menu of the node `name`; its items are handled by NodeAction.
  wxMenu* NewNodeMenu(const std::string& name) const;
  /// Carries out a context menu item on the node `name`; false when nothing was done.
  bool NodeAction(int item, const std::string& name);
  /// Called with a function's name when the user asks for its code.
  void SetOnOpenCode(std::function<void(const std::string&)> open) { openCode_ = std::move(open); }
  /// Called with the reachability query that a node's menu asked about it.
  void SetOnReach(std::function<void(ReachQueryKind, const std::string&)> reach) {
    reach_ = std::move(reach);
  }
  void Back();
  void Fit();
  /// Zooms by `factor` around the middle of the canvas.
  void Zoom(double factor);
  double zoom() const;
  GraphView& view() { return view_; }
  GraphCanvas& canvas() { return *canvas_; }
  /// The message shown instead of a drawing ("" while one is shown).
  std::string message() const;

 private:
  void SyncControls();
  void OnSearch(const wxString& text, bool chosen);

  GraphView& view_;
  GraphCanvas* canvas_;
  wxChoice* kind_;
  wxComboBox* search_;
  // Set while the search box's offered names are replaced, so that their text events are not
  // taken for typing.
  bool offering_ = false;
  wxChoice* direction_;
  wxSpinCtrl* depth_;
  wxButton* back_;
  std::function<void(const std::string&)> openCode_;
  std::function<void(ReachQueryKind, const std::string&)> reach_;
};

/// The drawing itself, scrolled and scaled.
class GraphCanvas : public wxScrolledCanvas {
 public:
  GraphCanvas(wxWindow* parent, GraphPanel& panel);

  /// Takes a new drawing (PNG bytes) or, when it has none, the message to show; `marked` is the
  /// node to mark (the focus), "" for none.
  void SetDrawing(const GraphDrawing& drawing, const std::string& marked = {});
  /// Zooms keeping the point of the drawing under `anchor` (a point of the window) where it is.
  void SetZoom(double zoom, wxPoint anchor);
  /// Zooms around the middle of the window.
  void SetZoom(double zoom);
  double zoom() const { return zoom_; }
  /// The zoom at which the whole drawing fits the canvas.
  double FitZoom() const;
  const wxBitmap& bitmap() const { return bitmap_; }
  /// The drawing's width and height in its points (the bitmap may have fewer pixels).
  wxRealPoint pictureSize() const;
  const std::string& message() const { return message_; }
  /// Whether what the window shows now was drawn at its own scale (not a scaled picture).
  bool sharp() const { return sharp_.IsOk() && sharpKey_ == ViewKey(); }
  /// Draws the part in sight at its own scale now, instead of after the short pause.
  void DrawSharpNow();
  /// The point of the drawing (in its points) under a point of the canvas window.
  wxRealPoint ToDrawing(const wxPoint& windowPoint) const;
  /// The point of the canvas window over a point of the drawing (for tests that click).
  wxPoint ToWindow(const wxRealPoint& drawingPoint) const;

 private:
  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnMotion(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnRightUp(wxMouseEvent& event);
  void OnWheel(wxMouseEvent& event);
  void OnChar(wxKeyEvent& event);
  void UpdateVirtualSize();
  // What a sharp drawing was made for: zoom, scroll position and size.
  struct Key {
    double zoom = 0;
    wxPoint start;
    wxSize size;
    bool operator==(const Key&) const = default;
  };
  Key ViewKey() const;

  GraphPanel& panel_;
  wxBitmap bitmap_;
  double pictureScale_ = 1;  // pixels of bitmap_ a point of the drawing
  wxBitmap sharp_;           // the part in sight drawn at its own scale
  Key sharpKey_;
  wxTimer sharpTimer_;
  std::string marked_;
  std::string message_;
  double zoom_ = 1;
  wxPoint dragStart_;
  wxPoint scrollAtDragStart_;
  bool dragging_ = false;
  bool dragged_ = false;
};

}  // namespace quillmap
