/// Where a view of the activity log stands, free of any toolkit: which rows and columns are in
/// sight, whether it follows the log's end (only while the user has not scrolled away from it),
/// and which lines the user selected. The window maps its scroll bars, keys and mouse onto it.
#pragma once

#include <cstddef>

namespace quillmap {

/// The keys that move a log view.
enum class LogKey { kUp, kDown, kPageUp, kPageDown, kHome, kEnd, kLeft, kRight };

class LogViewState {
 public:
  /// The log now has `count` lines and its widest is `columns` wide. More lines than before are
  /// an append: a view that follows the end shows the new end. Fewer are a new log: the view
  /// starts over at the top, following, with nothing selected.
  void SetContent(size_t count, size_t columns);
  /// The rows and columns that fit wholly into the view.
  void SetPageSize(size_t rows, size_t columns);

  /// The user scrolled: the view follows the end again exactly when it shows the end.
  void ScrollTo(size_t row);
  void ScrollBy(long rows);
  void ScrollColumnsTo(size_t column);
  void ScrollColumnsBy(long columns);
  void OnKey(LogKey key);
  /// A jump to `row`: selects it and, when it is not in sight, scrolls it to the middle.
  void ShowRow(size_t row);

  /// A click on `row`: selects it, or with `extend` the lines from the last click to it.
  void Select(size_t row, bool extend);
  void SelectAll();
  bool hasSelection() const { return hasSelection_; }
  size_t selectionFirst() const { return anchor_ < caret_ ? anchor_ : caret_; }
  size_t selectionLast() const { return anchor_ < caret_ ? caret_ : anchor_; }
  bool IsSelected(size_t row) const;

  size_t firstRow() const { return firstRow_; }
  size_t firstColumn() const { return firstColumn_; }
  /// One past the last row to draw (the row cut by the view's bottom edge included).
  size_t endRow() const;
  size_t lineCount() const { return lineCount_; }
  size_t columns() const { return columns_; }
  size_t pageRows() const { return pageRows_; }
  size_t pageColumns() const { return pageColumns_; }
  bool following() const { return following_; }

 private:
  size_t LastFirstRow() const;
  size_t LastFirstColumn() const;

  size_t lineCount_ = 0;
  size_t columns_ = 0;
  size_t pageRows_ = 1;
  size_t pageColumns_ = 1;
  size_t firstRow_ = 0;
  size_t firstColumn_ = 0;
  bool following_ = true;
  bool hasSelection_ = false;
  size_t anchor_ = 0;
  size_t caret_ = 0;
};

}  // namespace quillmap
