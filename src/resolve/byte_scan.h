/// Finding the next of a few bytes in a text eight bytes at a time: the fact reader and the
/// directive reader pass over most of every line looking only for what may end it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quillmap {

/// The index of the first byte at or after `i` that is one of kStops, or text.size().
template <char... kStops>
size_t FindAnyOf(std::string_view text, size_t i) {
  const size_t n = text.size();
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
