/// The Graph view on the desktop: the drawing of the last run's call graph or module graph with
/// pan (drag), zoom (buttons, Ctrl+wheel) and fit, a search for a function, the focus's
/// direction and depth, and a click on a function to focus on it, with Back. The choices
/// themselves are GraphView's; this panel paints and forwards.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>

#include <string>

#include "dialog/graph_view.h"

class wxChoice;
class wxComboBox;
class wxSpinCtrl;
class wxButton;

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
  };

  GraphPanel(wxWindow* parent, GraphView& view);

  /// Draws what the view shows now and, when asked, fits it into the panel.
  void Redraw(bool fit = true);
  /// Focuses on `name` (a click or a search) and draws; false when the view does not know it.
  bool FocusOn(const std::string& name);
  /// A click at a point of the drawing (in its pixels): focuses on the function there.
  bool ClickAt(double x, double y);
  void Back();
  void Fit();
  void Zoom(double factor);
  double zoom() const;
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
};

/// The drawing itself, scrolled and scaled.
class GraphCanvas : public wxScrolledCanvas {
 public:
  GraphCanvas(wxWindow* parent, GraphPanel& panel);

  /// Takes a new drawing (PNG bytes) or, when it has none, the message to show.
  void SetDrawing(const GraphDrawing& drawing);
  void SetZoom(double zoom);
  double zoom() const { return zoom_; }
  /// The zoom at which the whole drawing fits the canvas.
  double FitZoom() const;
  const wxBitmap& bitmap() const { return bitmap_; }
  const std::string& message() const { return message_; }
  /// The point of the drawing (in its pixels) under a point of the canvas window.
  wxRealPoint ToDrawing(const wxPoint& windowPoint) const;
  /// The point of the canvas window over a point of the drawing (for tests that click).
  wxPoint ToWindow(const wxRealPoint& drawingPoint) const;

 private:
  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnMotion(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnWheel(wxMouseEvent& event);
  void UpdateVirtualSize();

  GraphPanel& panel_;
  wxBitmap bitmap_;
  std::string message_;
  double zoom_ = 1;
  wxPoint dragStart_;
  wxPoint scrollAtDragStart_;
  bool dragging_ = false;
  bool dragged_ = false;
};

}  // namespace quillmap
