/// Finding the next of a few bytes in a text 16 bytes at a time (SSE2), else eight: the fact
/// reader and the directive reader pass over most of every line looking only for what may
/// end it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmap {

/// The index of the first byte at or after `i` that is one of kStops, or text.size().
template <char... kStops>
size_t FindAnyOf(std::string_view text, size_t i) {
  const size_t n = text.size();
#if defined(__SSE2__)
  while (i + 16 <= n) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    __m128i equal = _mm_setzero_si128();
    ((equal = _mm_or_si128(equal, _mm_cmpeq_epi8(block, _mm_set1_epi8(kStops)))), ...);
    const int mask = _mm_movemask_epi8(equal);
    if (mask != 0) return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    i += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHigh = 0x8080808080808080u;
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      // A byte equal to a stop is zero in word ^ stop; the lowest flagged byte is always one
      // (a borrow can flag only bytes above a zero byte).
      uint64_t hits = 0;
      ((hits |= ((word ^ (kOnes * static_cast<uint8_t>(kStops))) - kOnes) &
                ~(word ^ (kOnes * static_cast<uint8_t>(kStops))) & kHigh),
       ...);
      if (hits != 0) return i + static_cast<size_t>(std::countr_zero(hits) / 8);
      i += 8;
    }
  }
  while (i < n && ((text[i] != kStops) && ...)) ++i;
  return i;
}

}  // namespace quillmap
