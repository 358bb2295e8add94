/// A source file read whole, in the form SourceReader delivers it line by line (CR LF as LF,
/// every other byte kept), for scans that walk the lines of a buffer instead of copying pieces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "text/line_feeds.h"
#include "files/source_reader.h"
#include "text/text_arena.h"

namespace quillmap {

class SourceText {
 public:
  /// One object that loads file after file: its buffer keeps the size of the largest so far, and
  /// no fstat is needed.
  SourceText() = default;
  /// An object that keeps one file: memory of the file's size (by fstat) from `arena`, which
  /// must outlive the text.
  explicit SourceText(TextArena& arena) : arena_(&arena) {}
  SourceText(const SourceText&) = delete;
  SourceText& operator=(const SourceText&) = delete;

  /// Reads the file at `path` whole, replacing what was loaded before. False when it cannot be
  /// opened or is a folder, as SourceReader::Open.
  bool Load(const std::string& path);

  /// The text read: after a read error, what was read before it.
  std::string_view text() const { return std::string_view(data_, size_); }
  /// True when reading failed after the file opened (see SourceReader::failed).
  bool failed() const { return failed_; }

 private:
  void Reserve(size_t capacity);

  TextArena* arena_ = nullptr;
  std::unique_ptr<char[]> owned_;  // without an arena
  char* data_ = nullptr;
  size_t capacity_ = 0;
  size_t size_ = 0;
  bool failed_ = false;
};

/// The end of the piece of `text` that begins at `start` (< text.size()): just after the next
/// line feed, but at most kMaxLinePiece bytes on, as SourceReader::ReadPiece cuts it.
inline size_t PieceEnd(std::string_view text, size_t start) {
  const size_t limit = std::min(text.size() - start, kMaxLinePiece);
  const void* lf = std::memchr(text.data() + start, '\n', limit);
  return lf == nullptr ? start + limit
                       : static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
}

/// Calls `piece(start, end)` for every piece of `text` in order, cut as PieceEnd cuts them. The
/// line feeds are found 64 bytes at a time, which is what makes a pass over short lines cheap.
template <typename Piece>
void ForEachPiece(std::string_view text, Piece&& piece) {
  const size_t size = text.size();
  size_t lineStart = 0;
  const auto line = [&](size_t end) {
    while (end - lineStart > kMaxLinePiece) {
      piece(lineStart, lineStart + kMaxLinePiece);
      lineStart += kMaxLinePiece;
    }
    piece(lineStart, end);
    lineStart = end;
  };
  ForEachLineFeed(text, [&](size_t lineFeed) { line(lineFeed + 1); });
  if (lineStart < size) line(size);
}

}  // namespace quillmap
