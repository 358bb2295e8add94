#include "gui/graph_panel.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/clipbrd.h>
#include <wx/combobox.h>
#include <wx/dcbuffer.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/menu.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/wrapsizer.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "dialog/module_overview.h"
#include "gui/reach_panel.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kKindLabels[] = {"Call graph", "Module graph"};
constexpr const char* kDirectionLabels[] = {"callers and callees", "callees", "callers"};
constexpr QueryDirection kDirections[] = {QueryDirection::kBoth, QueryDirection::kCallees,
                                          QueryDirection::kCallers};
constexpr const char* kSearchHint = "search a function";
constexpr const char* kDepthTip = "depth of the focus";
constexpr const char* kBackLabel = "Back";
constexpr const char* kFitLabel = "Fit";
constexpr const char* kZoomInLabel = "+";
constexpr const char* kZoomOutLabel = "-";
constexpr const char* kFocusLabel = "Focus on it";
constexpr const char* kHideLabel = "Hide it";
constexpr const char* kDoNotExpandLabel = "Show it, but not its calls";
constexpr const char* kCopyNameLabel = "Copy the name";
constexpr const char* kOpenCodeLabel = "Open the code";
constexpr int kMaxDepth = 20;
constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 0.02;
constexpr double kMaxZoom = 8;
// How long the view waits after a zoom or scroll before it draws the part in sight anew.
constexpr int kSharpDelayMilliseconds = 60;
// A press that moves less than this many pixels is a click, not a drag.
constexpr int kClickSlop = 4;
}  // namespace

GraphPanel::GraphPanel(wxWindow* parent, GraphView& view) : wxPanel(parent), view_(view) {
  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  wxArrayString kinds, directions;
  for (const char* label : kKindLabels) kinds.Add(label);
  for (const char* label : kDirectionLabels) directions.Add(label);
  kind_ = new wxChoice(this, kKindChoice, wxDefaultPosition, wxDefaultSize, kinds);
  kind_->SetSelection(0);
  search_ = new wxComboBox(this, kSearchBox, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                           nullptr, wxTE_PROCESS_ENTER);
  search_->SetHint(kSearchHint);
  direction_ = new wxChoice(this, kDirectionChoice, wxDefaultPosition, wxDefaultSize, directions);
  direction_->SetSelection(0);
  depth_ = new wxSpinCtrl(this, kDepthSpin, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                          wxSP_ARROW_KEYS, 1, kMaxDepth, kDefaultFocusDepth);
  depth_->SetToolTip(kDepthTip);
  back_ =
      new wxButton(this, kBackButton, kBackLabel, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
  auto* fit =
      new wxButton(this, kFitButton, kFitLabel, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
  auto* zoomIn = new wxButton(this, kZoomInButton, kZoomInLabel, wxDefaultPosition, wxDefaultSize,
                              wxBU_EXACTFIT);
  auto* zoomOut = new wxButton(this, kZoomOutButton, kZoomOutLabel, wxDefaultPosition,
                               wxDefaultSize, wxBU_EXACTFIT);
  // Two rows, so that the view fits beside the log in half a window: what to show, then how.
  // The second wraps rather than squeezing its controls below their size in a narrow window.
  bar->Add(kind_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  bar->Add(search_, 1, wxALIGN_CENTER_VERTICAL);
  auto* shape = new wxWrapSizer(wxHORIZONTAL);
  shape->Add(direction_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT | wxBOTTOM, 2);
  shape->Add(depth_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT | wxBOTTOM, 2);
  for (wxButton* button : {back_, fit, zoomOut, zoomIn}) {
    shape->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT | wxBOTTOM, 2);
  }
  depth_->SetMinSize(depth_->GetBestSize());
  canvas_ = new GraphCanvas(this, *this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(bar, 0, wxEXPAND | wxALL, 2);
  sizer->Add(shape, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 2);
  sizer->Add(canvas_, 1, wxEXPAND);
  SetSizer(sizer);

  kind_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
    view_.SetKind(kind_->GetSelection() == 1 ? GraphKind::kModuleGraph : GraphKind::kCallGraph);
    Redraw();
  });
  const auto reshape = [this] {
    view_.SetFocusShape(kDirections[std::max(0, direction_->GetSelection())], depth_->GetValue());
    if (!view_.focus().name.empty()) Redraw();
  };
  direction_->Bind(wxEVT_CHOICE, [reshape](wxCommandEvent&) { reshape(); });
  depth_->Bind(wxEVT_SPINCTRL, [reshape](wxSpinEvent&) { reshape(); });
  search_->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
    // Replacing the offered names clears the box, and the toolkit reports that as typing.
    if (!offering_) OnSearch(event.GetString(), false);
  });
  search_->Bind(wxEVT_TEXT_ENTER,
                [this](wxCommandEvent& event) { OnSearch(event.GetString(), true); });
  search_->Bind(wxEVT_COMBOBOX,
                [this](wxCommandEvent& event) { OnSearch(event.GetString(), true); });
  back_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Back(); });
  fit->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Fit(); });
  zoomIn->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Zoom(kZoomStep); });
  zoomOut->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Zoom(1 / kZoomStep); });
  SyncControls();
}

void GraphPanel::SyncControls() {
  back_->Enable(view_.canGoBack());
  kind_->SetSelection(view_.kind() == GraphKind::kModuleGraph ? 1 : 0);
  const GraphFocus& focus = view_.focus();
  for (int i = 0; i < static_cast<int>(std::size(kDirections)); ++i) {
    if (kDirections[i] == focus.direction) direction_->SetSelection(i);
  }
  depth_->SetValue(focus.depth);
}

void GraphPanel::Redraw(bool fit) {
  wxBusyCursor busy;
  canvas_->SetDrawing(view_.Redraw(), view_.focus().name);
  SyncControls();
  if (fit) Fit();
}

bool GraphPanel::FocusOn(const std::string& name) {
  if (!view_.Focus(name)) return false;
  view_.SetFocusShape(kDirections[std::max(0, direction_->GetSelection())], depth_->GetValue());
  Redraw();
  return true;
}

bool GraphPanel::ClickAt(double x, double y) {
  const std::string name = view_.NodeAt(x, y);
  if (name.empty()) return false;
  // A module's box of the module overview opens into its functions.
  if (const std::string module = ModuleOfBox(name);
      view_.kind() == GraphKind::kModuleGraph && !module.empty()) {
    view_.ExpandModule(module);
    Redraw();
    return true;
  }
  return FocusOn(name);
}

wxMenu* GraphPanel::NewNodeMenu(const std::string& name) const {
  auto* menu = new wxMenu;
  const bool function = ModuleOfBox(name).empty();
  menu->Append(kFocusItem, kFocusLabel)->Enable(function);
  menu->Append(kHideItem, kHideLabel)->Enable(function && view_.kind() == GraphKind::kCallGraph);
  menu->Append(kDoNotExpandItem, kDoNotExpandLabel)
      ->Enable(function && view_.kind() == GraphKind::kCallGraph);
  menu->AppendSeparator();
  menu->Append(kCopyNameItem, kCopyNameLabel);
  menu->Append(kOpenCodeItem, kOpenCodeLabel)->Enable(function && openCode_ != nullptr);
  menu->AppendSeparator();
  AppendReachItems(*menu, function && view_.kind() == GraphKind::kCallGraph && reach_ != nullptr);
  return menu;
}

bool GraphPanel::NodeAction(int item, const std::string& name) {
  switch (item) {
    case kFocusItem:
      return FocusOn(name);
    case kHideItem:
      view_.Hide(name);
      Redraw();
      return true;
    case kDoNotExpandItem:
      view_.DoNotExpand(name);
      Redraw();
      return true;
    case kCopyNameItem: {
      wxClipboardLocker clipboard;
      return !!clipboard && wxTheClipboard->SetData(new wxTextDataObject(ToWx(name)));
    }
    case kOpenCodeItem:
      if (!openCode_) return false;
      openCode_(name);
      return true;
    default: {
      const ReachQueryKind kind = ReachItemKind(item);
      if (kind == ReachQueryKind::kNone || !reach_) return false;
      reach_(kind, name);
      return true;
    }
  }
}

void GraphPanel::Back() {
  if (view_.Back()) Redraw();
}

void GraphPanel::Fit() { canvas_->SetZoom(canvas_->FitZoom()); }

void GraphPanel::Zoom(double factor) { canvas_->SetZoom(canvas_->zoom() * factor); }

double GraphPanel::zoom() const { return canvas_->zoom(); }

std::string GraphPanel::message() const { return canvas_->message(); }

void GraphPanel::OnSearch(const wxString& text, bool chosen) {
  const std::string wanted = FromWx(text);
  if (chosen) {
    if (view_.Knows(wanted)) {
      FocusOn(wanted);
      return;
    }
    const std::vector<std::string> found = view_.Search(wanted);
    if (!found.empty()) FocusOn(found.front());
    return;
  }
  // Offer the matching names as the user types, keeping what was typed.
  wxArrayString names;
  for (const std::string& name : view_.Search(wanted)) names.Add(ToWx(name));
  const long insertion = search_->GetInsertionPoint();
  offering_ = true;
  search_->Set(names);
  search_->ChangeValue(text);
  search_->SetInsertionPoint(insertion);
  offering_ = false;
}

GraphCanvas::GraphCanvas(wxWindow* parent, GraphPanel& panel)
    : wxScrolledCanvas(parent, GraphPanel::kCanvas, wxDefaultPosition, wxDefaultSize,
                       wxHSCROLL | wxVSCROLL | wxFULL_REPAINT_ON_RESIZE),
      panel_(panel),
      sharpTimer_(this) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetBackgroundColour(*wxWHITE);
  SetScrollRate(1, 1);
  Bind(wxEVT_PAINT, &GraphCanvas::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &GraphCanvas::OnLeftDown, this);
  Bind(wxEVT_MOTION, &GraphCanvas::OnMotion, this);
  Bind(wxEVT_LEFT_UP, &GraphCanvas::OnLeftUp, this);
  Bind(wxEVT_RIGHT_UP, &GraphCanvas::OnRightUp, this);
  Bind(wxEVT_MOUSEWHEEL, &GraphCanvas::OnWheel, this);
  Bind(wxEVT_CHAR, &GraphCanvas::OnChar, this);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { DrawSharpNow(); });
  message_ = kNoGraphYet;
}

void GraphCanvas::SetDrawing(const GraphDrawing& drawing, const std::string& marked) {
  bitmap_ = wxBitmap();
  sharp_ = wxBitmap();
  marked_ = marked;
  message_ = drawing.error;
  pictureScale_ = drawing.pictureScale;
  if (message_.empty()) {
    wxMemoryInputStream stream(drawing.png.data(), drawing.png.size());
    const wxImage image(stream, wxBITMAP_TYPE_PNG);
    if (image.IsOk()) {
      bitmap_ = wxBitmap(image);
    } else {
      message_ = kNotDrawn;
    }
  }
  UpdateVirtualSize();
  Refresh();
}

wxRealPoint GraphCanvas::pictureSize() const {
  if (!bitmap_.IsOk()) return {};
  return {bitmap_.GetWidth() / pictureScale_, bitmap_.GetHeight() / pictureScale_};
}

double GraphCanvas::FitZoom() const {
  if (!bitmap_.IsOk()) return 1;
  const wxSize client = GetClientSize();
  const wxRealPoint picture = pictureSize();
  const double zoom = std::min(client.x / picture.x, client.y / picture.y);
  return std::clamp(zoom, kMinZoom, 1.0);
}

void GraphCanvas::SetZoom(double zoom) {
  const wxSize client = GetClientSize();
  SetZoom(zoom, wxPoint(client.x / 2, client.y / 2));
}

void GraphCanvas::SetZoom(double zoom, wxPoint anchor) {
  const wxRealPoint held = ToDrawing(anchor);
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  UpdateVirtualSize();
  Scroll(static_cast<int>(std::lround(held.x * zoom_ - anchor.x)),
         static_cast<int>(std::lround(held.y * zoom_ - anchor.y)));
  Refresh();
}

GraphCanvas::Key GraphCanvas::ViewKey() const {
  return Key{zoom_, GetViewStart(), GetClientSize()};
}

void GraphCanvas::DrawSharpNow() {
  sharpTimer_.Stop();
  if (!bitmap_.IsOk()) return;
  const Key key = ViewKey();
  if (sharp_.IsOk() && sharpKey_ == key) return;
  // Drawn in the display's pixels, so that it is sharp on a HiDPI screen too.
  const double scale = GetContentScaleFactor();
  DrawingPart part;
  part.width = static_cast<int>(std::lround(key.size.x * scale));
  part.height = static_cast<int>(std::lround(key.size.y * scale));
  part.zoom = zoom_ * scale;
  part.centerX = (key.start.x + key.size.x / 2.0) / zoom_;
  part.centerY = (key.start.y + key.size.y / 2.0) / zoom_;
  const std::string png = panel_.view().DrawPart(part);
  sharp_ = wxBitmap();
  if (!png.empty()) {
    wxMemoryInputStream stream(png.data(), png.size());
    const wxImage image(stream, wxBITMAP_TYPE_PNG);
    if (image.IsOk()) sharp_ = wxBitmap(image, -1, scale);
  }
  sharpKey_ = key;
  Refresh();
}

void GraphCanvas::UpdateVirtualSize() {
  if (!bitmap_.IsOk()) {
    SetVirtualSize(0, 0);
    return;
  }
  const wxRealPoint picture = pictureSize();
  SetVirtualSize(static_cast<int>(std::ceil(picture.x * zoom_)),
                 static_cast<int>(std::ceil(picture.y * zoom_)));
}

wxRealPoint GraphCanvas::ToDrawing(const wxPoint& windowPoint) const {
  const wxPoint unscrolled = CalcUnscrolledPosition(windowPoint);
  return wxRealPoint(unscrolled.x / zoom_, unscrolled.y / zoom_);
}

wxPoint GraphCanvas::ToWindow(const wxRealPoint& drawingPoint) const {
  return CalcScrolledPosition(wxPoint(static_cast<int>(std::lround(drawingPoint.x * zoom_)),
                                      static_cast<int>(std::lround(drawingPoint.y * zoom_))));
}

void GraphCanvas::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  if (!bitmap_.IsOk()) {
    dc.SetTextForeground(*wxBLACK);
    const wxSize client = GetClientSize();
    const wxString text = ToWx(message_);
    const wxSize extent = dc.GetMultiLineTextExtent(text);
    dc.DrawText(text, std::max(4, (client.x - extent.x) / 2),
                std::max(4, (client.y - extent.y) / 2));
    return;
  }
  if (sharp()) {
    dc.DrawBitmap(sharp_, 0, 0);
  } else {
    // The scaled picture stands in until the part in sight is drawn at its own scale.
    DoPrepareDC(dc);
    dc.SetUserScale(zoom_ / pictureScale_, zoom_ / pictureScale_);
    dc.DrawBitmap(bitmap_, 0, 0);
    dc.SetUserScale(1, 1);
    dc.SetDeviceOrigin(0, 0);
    if (!sharpTimer_.IsRunning()) sharpTimer_.StartOnce(kSharpDelayMilliseconds);
  }
  // The focused function, marked.
  for (const DrawnNode& node : panel_.view().drawing().nodes) {
    if (node.name != marked_ || marked_.empty()) continue;
    const wxPoint topLeft = ToWindow(wxRealPoint(node.left, node.top));
    const wxPoint bottomRight =
        ToWindow(wxRealPoint(node.left + node.width, node.top + node.height));
    dc.SetPen(wxPen(wxColour(220, 40, 40), std::max(2, FromDIP(2))));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRoundedRectangle(wxRect(topLeft, bottomRight).Inflate(FromDIP(3)), FromDIP(4));
  }
}

void GraphCanvas::OnLeftDown(wxMouseEvent& event) {
  dragging_ = true;
  dragged_ = false;
  dragStart_ = event.GetPosition();
  scrollAtDragStart_ = GetViewStart();
  if (!HasCapture()) CaptureMouse();
  SetFocus();
}

void GraphCanvas::OnMotion(wxMouseEvent& event) {
  if (!dragging_ || !event.LeftIsDown()) return;
  const wxPoint moved = event.GetPosition() - dragStart_;
  if (std::abs(moved.x) + std::abs(moved.y) > kClickSlop) dragged_ = true;
  if (dragged_) Scroll(scrollAtDragStart_.x - moved.x, scrollAtDragStart_.y - moved.y);
}

void GraphCanvas::OnLeftUp(wxMouseEvent& event) {
  if (HasCapture()) ReleaseMouse();
  if (!dragging_) return;
  dragging_ = false;
  if (dragged_ || !bitmap_.IsOk()) return;
  const wxRealPoint at = ToDrawing(event.GetPosition());
  // Redrawing replaces this canvas's bitmap: not from inside its own mouse handler.
  panel_.CallAfter([this, at] { panel_.ClickAt(at.x, at.y); });
}

void GraphCanvas::OnRightUp(wxMouseEvent& event) {
  if (!bitmap_.IsOk()) return;
  const wxRealPoint at = ToDrawing(event.GetPosition());
  const std::string name = panel_.view().NodeAt(at.x, at.y);
  if (name.empty()) return;
  std::unique_ptr<wxMenu> menu(panel_.NewNodeMenu(name));
  const int chosen = GetPopupMenuSelectionFromUser(*menu, event.GetPosition());
  // Redrawing replaces this canvas's bitmap: not from inside its own mouse handler.
  if (chosen != wxID_NONE)
    panel_.CallAfter([this, chosen, name] { panel_.NodeAction(chosen, name); });
}

void GraphCanvas::OnWheel(wxMouseEvent& event) {
  if (!event.ControlDown()) {
    event.Skip();
    return;
  }
  SetZoom(zoom_ * (event.GetWheelRotation() > 0 ? kZoomStep : 1 / kZoomStep), event.GetPosition());
}

void GraphCanvas::OnChar(wxKeyEvent& event) {
  switch (event.GetUnicodeKey()) {
    case '+':
    case '=':
      SetZoom(zoom_ * kZoomStep);
      return;
    case '-':
      SetZoom(zoom_ / kZoomStep);
      return;
    case '0':
      SetZoom(FitZoom());
      return;
    default:
      event.Skip();
  }
}

}  // namespace quillmap
