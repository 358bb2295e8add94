/// Finds the line feeds of a text 64 bytes at a time (SSE2 where the compiler has it), for the
/// passes over whole files and large blocks of output lines.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quillmap {

/// A bit for every line feed among the 64 bytes at `bytes` (bit i for bytes[i]).
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

/// Calls `found(position)` for every line feed of `text`, in order.
template <typename Found>
void ForEachLineFeed(std::string_view text, Found&& found) {
  const char* const data = text.data();
  const size_t size = text.size();
  size_t base = 0;
  for (; base + 64 <= size; base += 64) {
    for (uint64_t mask = LineFeedMask(data + base); mask != 0; mask &= mask - 1) {
      found(base + static_cast<size_t>(__builtin_ctzll(mask)));
    }
  }
  // The rest, and most output lines, are shorter than a block.
  while (base < size) {
    const void* lineFeed = std::memchr(data + base, '\n', size - base);
    if (lineFeed == nullptr) break;
    const size_t at = static_cast<size_t>(static_cast<const char*>(lineFeed) - data);
    found(at);
    base = at + 1;
  }
}

}  // namespace quillmap
