/// The ranked search of a workspace's function names: every name in small letters in one
/// buffer, with a mask of the letters it holds, so that most names of a large tree are passed
/// over with one test before the letters-in-order check and the ranking of FuzzyScore.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap::lsp {

class SymbolSearch {
 public:
  using NameOf = std::function<std::string_view(int32_t)>;
  using Counts = std::function<bool(int32_t)>;

  /// Adds the name `id` (any number that the caller knows it by), whose text is `text`.
  void Add(int32_t id, std::string_view text);
  /// Room for `names` more names of `bytes` in all, before they are added: a whole workspace's
  /// names added one by one would leave up to half of each buffer unused.
  void Reserve(size_t names, size_t bytes);
  size_t size() const { return ids_.size(); }

  /// The `limit` best names for `typed` that `counts` accepts, best first: by FuzzyScore, equal
  /// scores by name (bytes). `nameOf` gives a name's text as it was added.
  std::vector<int32_t> Find(std::string_view typed, size_t limit, const NameOf& nameOf,
                            const Counts& counts) const;

  /// The bits of the letters of a text in small letters: a name holds all letters of what was
  /// typed only when its mask covers the typed mask.
  static uint64_t LetterMask(std::string_view lower);

 private:
  std::vector<int32_t> ids_;
  std::vector<uint64_t> masks_;
  std::string lower_;           // the names in small letters, one after the other
  std::vector<uint32_t> ends_;  // where each ends in `lower_`
};

}  // namespace quillmap::lsp
