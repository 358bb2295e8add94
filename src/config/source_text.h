/// A source file read whole, in the form SourceReader delivers it line by line (CR LF as LF,
/// every other byte kept), for scans that walk the lines of a buffer instead of copying pieces.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "config/source_reader.h"

namespace quillmap {

class SourceText {
 public:
  /// Reads the file at `path` whole, replacing what was loaded before (the buffer is reused).
  /// False when it cannot be opened or is a folder, as SourceReader::Open.
  bool Load(const std::string& path);

  /// The text read: after a read error, what was read before it.
  std::string_view text() const { return std::string_view(data_.get(), size_); }
  /// True when reading failed after the file opened (see SourceReader::failed).
  bool failed() const { return failed_; }

 private:
  void Reserve(size_t capacity);

  std::unique_ptr<char[]> data_;
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

}  // namespace quillmap
