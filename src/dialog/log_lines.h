/// The activity log's text held as lines for a view that draws only the lines in sight:
/// appending costs what is appended, never what is there already, and the widest line is known
/// without measuring the others again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

/// Tab stops of the log as shown.
inline constexpr size_t kLogTabWidth = 8;

class LogLines {
 public:
  /// Appends `text` (UTF-8) to the log's text. A line feed ends a line; a carriage return is kept
  /// in the text but is no part of a line as shown or copied.
  void Append(std::string_view text);
  /// Empties the log.
  void Clear();

  /// The whole text, as appended.
  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  /// Lines, counted as the log counts them: one more than its line feeds; none when empty.
  size_t lineCount() const { return text_.empty() ? 0 : starts_.size(); }
  /// The line `index` without its line feed and carriage returns.
  std::string Line(size_t index) const;
  /// The line as drawn: tabs expanded to the next multiple of kLogTabWidth columns.
  std::string ShownLine(size_t index) const;
  /// The lines `first` to `last` (both included, in either order) joined by line feeds.
  std::string Lines(size_t first, size_t last) const;
  /// The first line from `from` on, going round past the end, that holds `text` (case-
  /// insensitively); none when no line does or `text` is empty.
  std::optional<size_t> Find(std::string_view text, size_t from) const;
  /// The width of the widest line as shown, in characters.
  size_t widestColumns() const { return widestColumns_; }

 private:
  std::string text_;
  std::vector<size_t> starts_{0};  // where each line begins in text_
  size_t lastColumns_ = 0;         // the width of the last line so far
  size_t widestColumns_ = 0;
};

}  // namespace quillmap
