/// Which bytes begin and continue a C identifier (letters, digits, '_' and the '$' that
/// compilers accept), and which are blanks within a line, by table: the fact reader and the
/// macro table test every byte.
#pragma once

#include <array>
#include <cstdint>

namespace quillmap {

struct CIdentifierChars {
  std::array<bool, 256> start{};
  std::array<bool, 256> part{};
  std::array<bool, 256> blank{};  // ' ', '\t', '\r', '\f', '\v'
  constexpr CIdentifierChars() {
    blank[' '] = blank['\t'] = blank['\r'] = blank['\f'] = blank['\v'] = true;
    for (int c = 'a'; c <= 'z'; ++c) start[c] = part[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) start[c] = part[c] = true;
    start['_'] = part['_'] = start['$'] = part['$'] = true;
    for (int c = '0'; c <= '9'; ++c) part[c] = true;
  }
};
inline constexpr CIdentifierChars kCIdentifierChars;
inline bool IsIdentStart(char c) { return kCIdentifierChars.start[static_cast<uint8_t>(c)]; }
inline bool IsIdentChar(char c) { return kCIdentifierChars.part[static_cast<uint8_t>(c)]; }
inline bool IsBlank(char c) { return kCIdentifierChars.blank[static_cast<uint8_t>(c)]; }

}  // namespace quillmap
