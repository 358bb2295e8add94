/// The activity log on screen: a window that keeps the log as lines (LogLines) and draws only the
/// rows in sight in a fixed-pitch font, so that appending a batch costs the batch and a long log
/// costs nothing until it is scrolled. Scroll bars, keys (arrows, PgUp/PgDn, Home/End), the wheel
/// and mouse selection of whole lines map onto LogViewState; Ctrl+C and the context menu copy.
#pragma once

#include <wx/timer.h>
#include <wx/window.h>

#include <chrono>

class wxMenu;

#include <functional>
#include <string>

#include "dialog/log_lines.h"
#include "dialog/log_view_state.h"

namespace quillmap {

class LogView : public wxWindow {
 public:
  /// Context menu items.
  enum : int { kCopyItem = 1301, kSelectAllItem };

  LogView(wxWindow* parent, wxWindowID id);

  /// Appends `text`; bytes that are not UTF-8 are taken as Latin-1, line by line.
  void AppendText(const std::string& text);
  /// Replaces the whole log: the view starts over at the top, following, nothing selected.
  void SetText(const std::string& text);
  /// The whole log as appended (UTF-8).
  std::string text() const { return lines_.text(); }
  bool IsEmpty() const { return lines_.empty(); }

  /// Whether the view follows the log's end (it shows the end, and the user has not scrolled).
  bool following() const { return state_.following(); }
  const LogViewState& state() const { return state_; }
  /// Selects the line and scrolls it into view, as a jump to an error entry does.
  void SelectAndShowLine(size_t line);
  /// The selected lines joined by line feeds; "" when nothing is selected.
  std::string SelectedText() const;
  /// Puts the selected lines on the clipboard; false when nothing was selected or it failed.
  bool CopySelection();
  /// The context menu ("Copy", "Select all"); its items send menu events to this view.
  wxMenu* NewContextMenu() const;

  /// The row under a point of the window (past the last line when below it).
  size_t RowAt(int y) const;
  int lineHeight() const { return lineHeight_; }
  /// The log's lines.
  const LogLines& lines() const { return lines_; }
  /// Called with the row that the user double-clicked.
  void SetLineActivated(std::function<void(size_t)> activated) {
    lineActivated_ = std::move(activated);
  }

 private:
  // The state changed: scroll bars follow it, and the rows are drawn again when `redraw`.
  void Sync(bool redraw);
  // What appends changed, shown now or, when the last append was shown just now, a little later.
  void SyncAppended();
  void UpdatePageSize();
  void OnPaint(wxPaintEvent& event);
  void OnSize(wxSizeEvent& event);
  void OnScroll(wxScrollWinEvent& event);
  void OnWheel(wxMouseEvent& event);
  void OnKeyDown(wxKeyEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnMotion(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);

  LogLines lines_;
  std::function<void(size_t)> lineActivated_;
  LogViewState state_;
  int lineHeight_ = 1;
  int charWidth_ = 1;
  bool dragging_ = false;
  int wheelRotation_ = 0;
  wxTimer appendSyncTimer_;
  std::chrono::steady_clock::time_point lastAppendSync_;
  bool appendRedraw_ = false;  // what the wheel turned short of a whole notch
  // What the scroll bars were last set to, so that an append that moves nothing leaves them.
  size_t shownFirstRow_ = SIZE_MAX, shownLines_ = SIZE_MAX, shownPageRows_ = SIZE_MAX;
  size_t shownFirstColumn_ = SIZE_MAX, shownColumns_ = SIZE_MAX, shownPageColumns_ = SIZE_MAX;
};

}  // namespace quillmap
