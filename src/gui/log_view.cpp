#include "gui/log_view.h"

#include <wx/clipbrd.h>
#include <wx/dcbuffer.h>
#include <wx/fontenum.h>
#include <wx/menu.h>
#include <wx/settings.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>

#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kLogFaceName = "Courier New";
constexpr int kLogFontPixelHeight = 14;
constexpr const char* kCopyLabel = "Copy";
constexpr const char* kSelectAllLabel = "Select all";
// Room left of the text, as a text control leaves it.
constexpr int kMargin = 3;
// Appends during a run are shown at most this often: drawing a page costs a few milliseconds
// that the run's own thread would rather have.
constexpr auto kAppendSyncInterval = std::chrono::milliseconds(100);

// "Courier New" where it is installed, else the system's fixed-pitch face.
wxFont LogFont() {
  wxFontInfo info(wxSize(0, kLogFontPixelHeight));
  info.Family(wxFONTFAMILY_TELETYPE);
  if (wxFontEnumerator::IsValidFacename(kLogFaceName)) info.FaceName(kLogFaceName);
  return wxFont(info);
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Each line as wx reads it: a line that is not UTF-8 (a Latin-1 comment quoted from a source)
// is taken as Latin-1 without taking the lines around it along.
std::string AsUtf8(const std::string& text) {
  std::string converted;
  converted.reserve(text.size());
  size_t begin = 0;
  while (begin <= text.size()) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    converted += FromWx(ToWx(text.substr(begin, end - begin)));
    if (end < text.size()) converted += '\n';
    begin = end + 1;
  }
  return converted;
}

const std::map<int, LogKey>& KeyMap() {
  static const std::map<int, LogKey> keys = {
      {WXK_UP, LogKey::kUp},
      {WXK_NUMPAD_UP, LogKey::kUp},
      {WXK_DOWN, LogKey::kDown},
      {WXK_NUMPAD_DOWN, LogKey::kDown},
      {WXK_PAGEUP, LogKey::kPageUp},
      {WXK_NUMPAD_PAGEUP, LogKey::kPageUp},
      {WXK_PAGEDOWN, LogKey::kPageDown},
      {WXK_NUMPAD_PAGEDOWN, LogKey::kPageDown},
      {WXK_HOME, LogKey::kHome},
      {WXK_NUMPAD_HOME, LogKey::kHome},
      {WXK_END, LogKey::kEnd},
      {WXK_NUMPAD_END, LogKey::kEnd},
      {WXK_LEFT, LogKey::kLeft},
      {WXK_NUMPAD_LEFT, LogKey::kLeft},
      {WXK_RIGHT, LogKey::kRight},
      {WXK_NUMPAD_RIGHT, LogKey::kRight},
  };
  return keys;
}
}  // namespace

LogView::LogView(wxWindow* parent, wxWindowID id) : appendSyncTimer_(this) {
  // Painted whole by OnPaint: no background erase that would flicker.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, id, wxDefaultPosition, wxDefaultSize, wxVSCROLL | wxHSCROLL | wxBORDER_THEME);
  SetFont(LogFont());
  // Fixed pitch: one character's advance, measured over many so that a fraction is not lost.
  constexpr int kSample = 64;
  const wxSize sample = GetTextExtent(wxString('M', kSample));
  charWidth_ = std::max(1, static_cast<int>(std::ceil(sample.x / static_cast<double>(kSample))));
  lineHeight_ = std::max(1, sample.y);
  SetCursor(wxCursor(wxCURSOR_IBEAM));

  Bind(wxEVT_PAINT, &LogView::OnPaint, this);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { SyncAppended(); });
  Bind(wxEVT_SIZE, &LogView::OnSize, this);
  for (const wxEventTypeTag<wxScrollWinEvent>& type :
       {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP,
        wxEVT_SCROLLWIN_LINEDOWN, wxEVT_SCROLLWIN_PAGEUP, wxEVT_SCROLLWIN_PAGEDOWN,
        wxEVT_SCROLLWIN_THUMBTRACK, wxEVT_SCROLLWIN_THUMBRELEASE}) {
    Bind(type, &LogView::OnScroll, this);
  }
  Bind(wxEVT_MOUSEWHEEL, &LogView::OnWheel, this);
  Bind(wxEVT_KEY_DOWN, &LogView::OnKeyDown, this);
  Bind(wxEVT_LEFT_DOWN, &LogView::OnLeftDown, this);
  // A second click soon after the first is a click too, not lost as a double click.
  Bind(wxEVT_LEFT_DCLICK, &LogView::OnLeftDown, this);
  Bind(wxEVT_MOTION, &LogView::OnMotion, this);
  Bind(wxEVT_LEFT_UP, &LogView::OnLeftUp, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { dragging_ = false; });
  Bind(wxEVT_CONTEXT_MENU, &LogView::OnContextMenu, this);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { CopySelection(); }, kCopyItem);
  Bind(
      wxEVT_MENU,
      [this](wxCommandEvent&) {
        state_.SelectAll();
        Sync(true);
      },
      kSelectAllItem);
}

void LogView::AppendText(const std::string& text) {
  if (text.empty()) return;
  // Rows below the view need no drawing; the scroll bar still shows that they came.
  const bool endInSight = state_.endRow() >= state_.lineCount();
  if (IsAscii(text)) {
    lines_.Append(text);
  } else {
    lines_.Append(AsUtf8(text));
  }
  state_.SetContent(lines_.lineCount(), lines_.widestColumns());
  appendRedraw_ = appendRedraw_ || endInSight || state_.following();
  if (appendSyncTimer_.IsRunning()) return;
  const auto since = std::chrono::steady_clock::now() - lastAppendSync_;
  if (since >= kAppendSyncInterval) {
    SyncAppended();
  } else {
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(kAppendSyncInterval - since);
    appendSyncTimer_.StartOnce(std::max(1, static_cast<int>(wait.count())));
  }
}

void LogView::SyncAppended() {
  lastAppendSync_ = std::chrono::steady_clock::now();
  Sync(appendRedraw_);
  appendRedraw_ = false;
}

void LogView::SetText(const std::string& text) {
  lines_.Clear();
  state_.SetContent(0, 0);
  AppendText(text);
  Sync(true);
}

void LogView::SelectAndShowLine(size_t line) {
  state_.ShowRow(line);
  Sync(true);
}

std::string LogView::SelectedText() const {
  if (!state_.hasSelection()) return {};
  return lines_.Lines(state_.selectionFirst(), state_.selectionLast());
}

bool LogView::CopySelection() {
  if (!state_.hasSelection()) return false;
  wxClipboardLocker clipboard;
  if (!clipboard) return false;
  return wxTheClipboard->SetData(new wxTextDataObject(ToWx(SelectedText())));
}

wxMenu* LogView::NewContextMenu() const {
  auto* menu = new wxMenu;
  menu->Append(kCopyItem, kCopyLabel)->Enable(state_.hasSelection());
  menu->Append(kSelectAllItem, kSelectAllLabel)->Enable(!IsEmpty());
  return menu;
}

size_t LogView::RowAt(int y) const {
  return state_.firstRow() + static_cast<size_t>(std::max(y, 0) / lineHeight_);
}

void LogView::UpdatePageSize() {
  const wxSize client = GetClientSize();
  state_.SetPageSize(static_cast<size_t>(std::max(client.y / lineHeight_, 1)),
                     static_cast<size_t>(std::max((client.x - kMargin) / charWidth_, 1)));
}

void LogView::Sync(bool redraw) {
  const size_t lines = state_.lineCount();
  if (state_.firstRow() != shownFirstRow_ || lines != shownLines_ ||
      state_.pageRows() != shownPageRows_) {
    shownFirstRow_ = state_.firstRow();
    shownLines_ = lines;
    shownPageRows_ = state_.pageRows();
    SetScrollbar(wxVERTICAL, static_cast<int>(shownFirstRow_), static_cast<int>(shownPageRows_),
                 static_cast<int>(lines));
    redraw = true;
  }
  if (state_.firstColumn() != shownFirstColumn_ || state_.columns() != shownColumns_ ||
      state_.pageColumns() != shownPageColumns_) {
    shownFirstColumn_ = state_.firstColumn();
    shownColumns_ = state_.columns();
    shownPageColumns_ = state_.pageColumns();
    SetScrollbar(wxHORIZONTAL, static_cast<int>(shownFirstColumn_),
                 static_cast<int>(shownPageColumns_), static_cast<int>(shownColumns_));
    redraw = true;
  }
  if (redraw) Refresh(false);
}

void LogView::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_LISTBOX)));
  dc.Clear();
  dc.SetFont(GetFont());
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
  const wxColour text = wxSystemSettings::GetColour(wxSYS_COLOUR_LISTBOXTEXT);
  const wxColour selectedText = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHTTEXT);
  const int width = GetClientSize().x;
  const size_t firstColumn = state_.firstColumn();
  for (size_t row = state_.firstRow(); row < state_.endRow(); ++row) {
    const int y = static_cast<int>(row - state_.firstRow()) * lineHeight_;
    const bool selected = state_.IsSelected(row);
    if (selected) dc.DrawRectangle(0, y, width, lineHeight_);
    dc.SetTextForeground(selected ? selectedText : text);
    const wxString line = wxString::FromUTF8(lines_.ShownLine(row));
    if (line.length() > firstColumn) {
      dc.DrawText(line.Mid(firstColumn, state_.pageColumns() + 1), kMargin, y);
    }
  }
}

void LogView::OnSize(wxSizeEvent& event) {
  UpdatePageSize();
  Sync(true);
  event.Skip();
}

void LogView::OnScroll(wxScrollWinEvent& event) {
  const bool vertical = event.GetOrientation() == wxVERTICAL;
  const wxEventType type = event.GetEventType();
  const long page = static_cast<long>(vertical ? state_.pageRows() : state_.pageColumns());
  long step = 0;
  if (type == wxEVT_SCROLLWIN_LINEUP) step = -1;
  if (type == wxEVT_SCROLLWIN_LINEDOWN) step = 1;
  if (type == wxEVT_SCROLLWIN_PAGEUP) step = -page;
  if (type == wxEVT_SCROLLWIN_PAGEDOWN) step = page;
  size_t to = static_cast<size_t>(std::max(event.GetPosition(), 0));
  if (type == wxEVT_SCROLLWIN_TOP) to = 0;
  if (type == wxEVT_SCROLLWIN_BOTTOM) to = SIZE_MAX;
  if (vertical) {
    step != 0 ? state_.ScrollBy(step) : state_.ScrollTo(to);
  } else {
    step != 0 ? state_.ScrollColumnsBy(step) : state_.ScrollColumnsTo(to);
  }
  Sync(true);
}

void LogView::OnWheel(wxMouseEvent& event) {
  // Touchpads send fractions of a notch: they add up to whole lines.
  wheelRotation_ += event.GetWheelRotation();
  const int delta = std::max(event.GetWheelDelta(), 1);
  const long notches = wheelRotation_ / delta;
  wheelRotation_ -= static_cast<int>(notches * delta);
  const long lines = notches * (event.IsPageScroll() ? static_cast<long>(state_.pageRows())
                                                     : std::max(event.GetLinesPerAction(), 1));
  if (event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL) {
    state_.ScrollColumnsBy(lines);
  } else if (event.ShiftDown()) {
    state_.ScrollColumnsBy(-lines);
  } else if (lines != 0) {
    state_.ScrollBy(-lines);
  }
  Sync(false);
}

void LogView::OnKeyDown(wxKeyEvent& event) {
  const int code = event.GetKeyCode();
  const int modifiers = event.GetModifiers();
  if (modifiers == wxMOD_CONTROL && (code == 'C' || code == WXK_INSERT)) {
    CopySelection();
    return;
  }
  if (modifiers == wxMOD_CONTROL && code == 'A') {
    state_.SelectAll();
    Sync(true);
    return;
  }
  const auto key = KeyMap().find(code);
  if (key == KeyMap().end() || (modifiers & ~wxMOD_CONTROL) != 0) {
    event.Skip();
    return;
  }
  state_.OnKey(key->second);
  Sync(false);
}

void LogView::OnLeftDown(wxMouseEvent& event) {
  SetFocus();
  const size_t row = RowAt(event.GetY());
  if (row < state_.lineCount()) {
    state_.Select(row, event.ShiftDown());
    dragging_ = true;
    if (!HasCapture()) CaptureMouse();
  }
  Sync(true);
  // After the press is handled: what the line opens may take the view out of sight.
  if (event.ButtonDClick() && row < state_.lineCount() && lineActivated_) {
    CallAfter([this, row] { lineActivated_(row); });
  }
}

void LogView::OnMotion(wxMouseEvent& event) {
  if (!dragging_ || !event.LeftIsDown() || state_.lineCount() == 0) return;
  // Dragged above or below the view: it scrolls along, a row per move.
  const int height = GetClientSize().y;
  if (event.GetY() < 0) state_.ScrollBy(-1);
  if (event.GetY() >= height) state_.ScrollBy(1);
  const size_t row = RowAt(std::clamp(event.GetY(), 0, std::max(height - 1, 0)));
  state_.Select(std::min(row, state_.lineCount() - 1), true);
  Sync(true);
}

void LogView::OnLeftUp(wxMouseEvent&) {
  dragging_ = false;
  if (HasCapture()) ReleaseMouse();
}

void LogView::OnContextMenu(wxContextMenuEvent& event) {
  // A right click on a line outside the selection selects that line, as text views do.
  const wxPoint at = event.GetPosition() == wxDefaultPosition ? wxDefaultPosition
                                                              : ScreenToClient(event.GetPosition());
  if (at != wxDefaultPosition) {
    const size_t row = RowAt(at.y);
    if (row < state_.lineCount() && !state_.IsSelected(row)) {
      state_.Select(row, false);
      Sync(true);
    }
  }
  std::unique_ptr<wxMenu> menu(NewContextMenu());
  PopupMenu(menu.get(), at);
}

}  // namespace quillmap
