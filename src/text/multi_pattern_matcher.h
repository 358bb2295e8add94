/// Finds every occurrence of many fixed byte strings in a text in one pass (Aho-Corasick), for
/// the call filters of the call graph scan and the function names of the module scan.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

class MultiPatternMatcher {
 public:
  /// The patterns are byte strings, each known by its index. An empty pattern is never reported;
  /// of several equal patterns only the one with the lowest index is reported.
  /// `denseBudget`: the memory for full transition rows (one next state per byte class) of the
  /// shallowest states; the others keep their edges and failure links only.
  explicit MultiPatternMatcher(const std::vector<std::string>& patterns,
                               size_t denseBudget = kDefaultDenseBudget);
  static constexpr size_t kDefaultDenseBudget = size_t{8} << 20;

  /// Calls `found(index, end)` for every occurrence of a pattern in `text`, where `end` is the
  /// position just after the occurrence, in order of `end` (overlapping occurrences included).
  /// `found` returns false to stop the scan.
  template <typename Found>
  void Scan(std::string_view text, Found&& found) const;

  /// The start of the first occurrence of each pattern in `text`, npos where there is none
  /// (also for empty and repeated patterns). `starts` is resized to the number of patterns.
  void FirstOccurrences(std::string_view text, std::vector<size_t>& starts) const;

  size_t patternCount() const { return lengths_.size(); }

 private:
  // The state after `state` reads `byte`, times two, plus one when a pattern ends there.
  int32_t Next(int32_t state, unsigned char byte) const;

  // States are numbered in breadth-first order from the root 0, so the shallow states that a
  // scan visits most are the first ones and have full transition rows.
  std::array<uint32_t, 256> classOf_{};  // the byte class of each byte
  size_t classCount_ = 1;
  int32_t denseCount_ = 0;
  std::vector<int32_t> dense_;      // denseCount_ rows, one next state per class (marked as Next's)
  std::vector<int32_t> firstEdge_;  // edges of state s: [firstEdge_[s], firstEdge_[s + 1])
  std::vector<unsigned char> edgeByte_;
  std::vector<int32_t> edgeTarget_;  // marked as Next's results
  std::vector<int32_t> fail_;
  std::vector<int32_t> output_;      // the pattern that ends at the state, or -1
  std::vector<int32_t> outputHead_;  // the state itself when it has an output, else the nearest
                                     // state with one on its failure chain, or -1
  std::vector<int32_t> outputNext_;  // the next state with an output on the failure chain, or -1
  std::vector<size_t> lengths_;      // of each pattern
  size_t reportedPatterns_ = 0;      // patterns that can be reported (not empty, not repeated)
};

inline int32_t MultiPatternMatcher::Next(int32_t state, unsigned char byte) const {
  for (;;) {
    if (state < denseCount_)
      return dense_[static_cast<size_t>(state) * classCount_ + classOf_[byte]];
    const int32_t end = firstEdge_[static_cast<size_t>(state) + 1];
    for (int32_t e = firstEdge_[static_cast<size_t>(state)]; e < end; ++e) {
      if (edgeByte_[static_cast<size_t>(e)] == byte) return edgeTarget_[static_cast<size_t>(e)];
    }
    state = fail_[static_cast<size_t>(state)];
  }
}

template <typename Found>
void MultiPatternMatcher::Scan(std::string_view text, Found&& found) const {
  int32_t state = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const int32_t next = Next(state, static_cast<unsigned char>(text[i]));
    state = next >> 1;
    if ((next & 1) == 0) continue;
    for (int32_t s = outputHead_[static_cast<size_t>(state)]; s >= 0;
         s = outputNext_[static_cast<size_t>(s)]) {
      if (!found(output_[static_cast<size_t>(s)], i + 1)) return;
    }
  }
}

}  // namespace quillmap
