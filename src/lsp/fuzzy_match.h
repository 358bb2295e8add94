/// The ranking of names against what a person typed in a symbol search: the letters typed must
/// appear in order (ignoring case); whole names before prefixes before inner words before
/// scattered letters, and tighter matches first.
#pragma once

#include <string_view>

namespace quillmap::lsp {

/// No match.
inline constexpr int kNoMatch = -1;
/// The score of `name` for `typed` (higher is better), or kNoMatch. An empty `typed` matches
/// every name with the score 0.
int FuzzyScore(std::string_view typed, std::string_view name);

}  // namespace quillmap::lsp
