/// The function list's filter: the functions whose name holds what the user typed, ranked as a
/// person looks for a name (the exact name, then names that start with it, then names that
/// contain it, then names that hold its letters in order), case-insensitively. Typing on
/// narrows the last result instead of searching every name again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "query/function_index.h"

namespace quillmap {

/// How well a name matches what was typed; the better first.
enum class MatchKind : uint8_t { kExact, kPrefix, kSubstring, kFuzzy, kNone };

/// How `name` matches `typed` (both compared case-insensitively; `typed` already lowered).
MatchKind MatchOf(std::string_view name, std::string_view loweredTyped);

class FunctionFilter {
 public:
  /// Filters the functions of `index`, which must outlive the filter.
  explicit FunctionFilter(const FunctionIndex& index);

  /// Filters by `typed`: every function, by name, when it is empty.
  void SetText(std::string_view typed);
  const std::string& text() const { return typed_; }
  /// The matching function indexes, best first; among equals the shorter name, then by name.
  const std::vector<uint32_t>& matches() const { return matches_; }

 private:
  const FunctionIndex& index_;
  std::string typed_;    // lowered
  std::string lowered_;  // every name lowered, one after the other, in byName order
  std::vector<uint32_t> loweredStarts_;
  // The byName positions of the last matches: typing on searches only these.
  std::vector<uint32_t> candidates_;
  std::vector<uint32_t> matches_;
};

}  // namespace quillmap
