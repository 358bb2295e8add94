/// A source file read whole, in the form SourceReader delivers it line by line (CR LF as LF,
/// every other byte kept), for scans that walk the lines of a buffer instead of copying pieces.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
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

namespace internal {
// A bit for every line feed among the 64 bytes at `bytes`.
inline uint64_t LineFeedMask(const char* bytes) {
#if defined(__SSE2__)
  const __m128i lineFeed = _mm_set1_epi8('\n');
  uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    mask |= static_cast<uint64_t>(
                static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lineFeed))))
            << (16 * i);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= static_cast<uint64_t>(bytes[i] == '\n') << i;
  return mask;
#endif
}
}  // namespace internal

/// Calls `piece(start, end)` for every piece of `text` in order, cut as PieceEnd cuts them. The
/// line feeds are found 64 bytes at a time, which is what makes a pass over short lines cheap.
template <typename Piece>
void ForEachPiece(std::string_view text, Piece&& piece) {
  const char* const data = text.data();
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
  size_t base = 0;
  for (; base + 64 <= size; base += 64) {
    for (uint64_t mask = internal::LineFeedMask(data + base); mask != 0; mask &= mask - 1) {
      line(base + static_cast<size_t>(__builtin_ctzll(mask)) + 1);
    }
  }
  for (; base < size; ++base) {
    if (data[base] == '\n') line(base + 1);
  }
  if (lineStart < size) line(size);
}

}  // namespace quillmap
