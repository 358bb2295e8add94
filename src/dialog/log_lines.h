/// The activity log's text held as lines for a view that draws only the lines in sight:
/// appending costs what is appended, never what is there already, and the widest line is known
/// without measuring the others again. A whole tree's log has millions of lines, so full blocks
/// of whole lines are kept compressed (LZ4) and read back a block at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

/// Tab stops of the log as shown.
inline constexpr size_t kLogTabWidth = 8;
/// The text of whole lines a compressed block holds at least (a line longer than this has a
/// block of its own).
inline constexpr size_t kLogBlockBytes = size_t{64} << 10;

class LogLines {
 public:
  explicit LogLines(size_t blockBytes = kLogBlockBytes) : blockBytes_(blockBytes) {}

  /// Appends `text` (UTF-8) to the log's text. A line feed ends a line; a carriage return is kept
  /// in the text but is no part of a line as shown or copied.
  void Append(std::string_view text);
  /// Empties the log.
  void Clear();

  /// The whole text, as appended.
  std::string text() const;
  bool empty() const { return size_ == 0; }
  /// Lines, counted as the log counts them: one more than its line feeds; none when empty.
  size_t lineCount() const { return size_ == 0 ? 0 : openFirstLine_ + openStarts_.size(); }
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
  /// Bytes held for the text (blocks and the open lines), for measuring.
  size_t heldBytes() const;

 private:
  // Whole lines, each ended by its line feed, compressed unless that did not make them smaller.
  struct Block {
    std::string bytes;
    uint32_t size = 0;  // of the text
    bool compressed = false;
    size_t firstLine = 0;
  };
  // Moves the open text's whole lines, a block at a time, into sealed blocks.
  void SealFullBlocks();
  // The text of line `index` as held, its line feed left out.
  std::string_view RawLine(size_t index) const;

  size_t blockBytes_;
  std::vector<Block> sealed_;
  std::string open_;                            // the lines after the last sealed block
  std::vector<uint32_t> openStarts_{0};         // where each of them begins in open_
  size_t openFirstLine_ = 0;                    // the index of open_'s first line
  size_t size_ = 0;                             // bytes appended
  size_t lastColumns_ = 0;                      // the width of the last line so far
  size_t widestColumns_ = 0;
  // The sealed block read last, as text, with where its lines begin.
  mutable size_t cachedBlock_ = SIZE_MAX;
  mutable std::string cache_;
  mutable std::vector<uint32_t> cacheStarts_;
};

}  // namespace quillmap
