/// The ranking of names against what a person typed in a symbol search: the letters typed must
/// appear in order (ignoring case); whole names before prefixes before inner words before
/// scattered letters, and tighter matches first.
#pragma once

#include <string>
#include <string_view>

namespace quillmap::lsp {

/// No match.
inline constexpr int kNoMatch = -1;
/// The score of `name` for `typed` (higher is better), or kNoMatch. An empty `typed` matches
/// every name with the score 0.
int FuzzyScore(std::string_view typed, std::string_view name);

/// Whether the letters of `typedLower` stand in `nameLower` in order (both in small letters):
/// the quick test that most names of a large tree fail before FuzzyScore.
bool HasLettersInOrder(std::string_view typedLower, std::string_view nameLower);
/// The text in small ASCII letters.
std::string ToLower(std::string_view text);

}  // namespace quillmap::lsp
