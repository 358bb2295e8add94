#include "dialog/log_view_state.h"

#include <algorithm>

namespace quillmap {

namespace {
size_t Moved(size_t from, long by, size_t last) {
  const long moved = static_cast<long>(from) + by;
  return std::min(static_cast<size_t>(std::max(moved, 0L)), last);
}
}  // namespace

size_t LogViewState::LastFirstRow() const {
  return lineCount_ > pageRows_ ? lineCount_ - pageRows_ : 0;
}

size_t LogViewState::LastFirstColumn() const {
  return columns_ > pageColumns_ ? columns_ - pageColumns_ : 0;
}

void LogViewState::SetContent(size_t count, size_t columns) {
  if (count < lineCount_) {
    firstRow_ = firstColumn_ = 0;
    following_ = true;
    hasSelection_ = false;
  }
  lineCount_ = count;
  columns_ = columns;
  firstRow_ = following_ ? LastFirstRow() : std::min(firstRow_, LastFirstRow());
  firstColumn_ = std::min(firstColumn_, LastFirstColumn());
  if (hasSelection_ && selectionLast() >= lineCount_) hasSelection_ = false;
}

void LogViewState::SetPageSize(size_t rows, size_t columns) {
  pageRows_ = std::max<size_t>(rows, 1);
  pageColumns_ = std::max<size_t>(columns, 1);
  firstRow_ = following_ ? LastFirstRow() : std::min(firstRow_, LastFirstRow());
  firstColumn_ = std::min(firstColumn_, LastFirstColumn());
}

void LogViewState::ScrollTo(size_t row) {
  firstRow_ = std::min(row, LastFirstRow());
  following_ = firstRow_ == LastFirstRow();
}

void LogViewState::ScrollBy(long rows) { ScrollTo(Moved(firstRow_, rows, LastFirstRow())); }

void LogViewState::ScrollColumnsTo(size_t column) {
  firstColumn_ = std::min(column, LastFirstColumn());
}

void LogViewState::ScrollColumnsBy(long columns) {
  ScrollColumnsTo(Moved(firstColumn_, columns, LastFirstColumn()));
}

void LogViewState::OnKey(LogKey key) {
  const long page = static_cast<long>(pageRows_);
  switch (key) {
    case LogKey::kUp:
      return ScrollBy(-1);
    case LogKey::kDown:
      return ScrollBy(1);
    case LogKey::kPageUp:
      return ScrollBy(-page);
    case LogKey::kPageDown:
      return ScrollBy(page);
    case LogKey::kHome:
      return ScrollTo(0);
    case LogKey::kEnd:
      return ScrollTo(LastFirstRow());
    case LogKey::kLeft:
      return ScrollColumnsBy(-1);
    case LogKey::kRight:
      return ScrollColumnsBy(1);
  }
}

void LogViewState::ShowRow(size_t row) {
  if (row >= lineCount_) return;
  Select(row, false);
  firstColumn_ = 0;
  if (row < firstRow_ || row >= firstRow_ + pageRows_)
    ScrollTo(row > pageRows_ / 2 ? row - pageRows_ / 2 : 0);
}

void LogViewState::Select(size_t row, bool extend) {
  if (row >= lineCount_) return;
  if (!extend || !hasSelection_) anchor_ = row;
  caret_ = row;
  hasSelection_ = true;
}

void LogViewState::SelectAll() {
  if (lineCount_ == 0) return;
  anchor_ = 0;
  caret_ = lineCount_ - 1;
  hasSelection_ = true;
}

bool LogViewState::IsSelected(size_t row) const {
  return hasSelection_ && row >= selectionFirst() && row <= selectionLast();
}

size_t LogViewState::endRow() const { return std::min(lineCount_, firstRow_ + pageRows_ + 1); }

}  // namespace quillmap
