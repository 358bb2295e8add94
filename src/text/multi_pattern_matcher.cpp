#include "text/multi_pattern_matcher.h"

#include <algorithm>
#include <numeric>

namespace quillmap {

namespace {}  // namespace

MultiPatternMatcher::MultiPatternMatcher(const std::vector<std::string>& patterns,
                                         size_t denseBudget) {
  lengths_.reserve(patterns.size());
  for (const std::string& pattern : patterns) lengths_.push_back(pattern.size());

  // The trie, built from the patterns in sorted order: every pattern shares the path of its
  // common prefix with the one before it, and children arrive in byte order.
  std::vector<int32_t> order(patterns.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return patterns[a] < patterns[b]; });
  struct TrieNode {
    int32_t firstChild = -1;
    int32_t lastChild = -1;
    int32_t nextSibling = -1;
    unsigned char byte = 0;
    int32_t output = -1;
  };
  size_t totalLength = 0;
  for (const std::string& pattern : patterns) totalLength += pattern.size();
  std::vector<TrieNode> trie(1);
  trie.reserve(totalLength + 1);  // at most one node per byte
  std::vector<int32_t> path{0};   // the nodes of the previous pattern, by depth
  const std::string* previous = nullptr;
  for (int32_t index : order) {
    const std::string& pattern = patterns[static_cast<size_t>(index)];
    if (pattern.empty()) continue;
    size_t common = 0;
    if (previous != nullptr) {
      const size_t limit = std::min(previous->size(), pattern.size());
      while (common < limit && (*previous)[common] == pattern[common]) ++common;
    }
    path.resize(common + 1);
    for (size_t depth = common; depth < pattern.size(); ++depth) {
      const int32_t parent = path.back();
      const int32_t node = static_cast<int32_t>(trie.size());
      trie.push_back(TrieNode{});
      trie.back().byte = static_cast<unsigned char>(pattern[depth]);
      if (trie[parent].lastChild < 0) {
        trie[parent].firstChild = node;
      } else {
        trie[trie[parent].lastChild].nextSibling = node;
      }
      trie[parent].lastChild = node;
      path.push_back(node);
    }
    // Equal patterns meet in one node; the stable sort puts the lowest index first.
    TrieNode& end = trie[path.back()];
    if (end.output < 0) {
      end.output = index;
      ++reportedPatterns_;
    }
    previous = &pattern;
  }

  // Breadth-first numbering, edges in one array.
  const size_t stateCount = trie.size();
  std::vector<int32_t> stateOf(stateCount);
  std::vector<int32_t> nodeOf;
  nodeOf.reserve(stateCount);
  nodeOf.push_back(0);
  stateOf[0] = 0;
  firstEdge_.assign(stateCount + 1, 0);
  edgeByte_.reserve(stateCount);
  edgeTarget_.reserve(stateCount);
  output_.assign(stateCount, -1);
  for (size_t s = 0; s < nodeOf.size(); ++s) {
    const TrieNode& node = trie[static_cast<size_t>(nodeOf[s])];
    output_[s] = node.output;
    firstEdge_[s] = static_cast<int32_t>(edgeByte_.size());
    for (int32_t child = node.firstChild; child >= 0; child = trie[child].nextSibling) {
      stateOf[child] = static_cast<int32_t>(nodeOf.size());
      nodeOf.push_back(child);
      edgeByte_.push_back(trie[child].byte);
      edgeTarget_.push_back(stateOf[child]);
    }
  }
  firstEdge_[stateCount] = static_cast<int32_t>(edgeByte_.size());

  // Failure links and full rows, shallow states first: everything a state needs belongs to
  // shallower states. A state's row is its failure state's row with its own edges on top. Until
  // the marks are added below, the tables hold plain states.
  const auto plainNext = [&](int32_t state, unsigned char byte) {
    for (;;) {
      if (state < denseCount_) {
        return dense_[static_cast<size_t>(state) * classCount_ + classOf_[byte]];
      }
      for (int32_t e = firstEdge_[static_cast<size_t>(state)];
           e < firstEdge_[static_cast<size_t>(state) + 1]; ++e) {
        if (edgeByte_[static_cast<size_t>(e)] == byte) return edgeTarget_[static_cast<size_t>(e)];
      }
      state = fail_[static_cast<size_t>(state)];
    }
  };
  // Bytes that occur in no pattern share class 0: from every state they lead to the root.
  classOf_.fill(0);
  classCount_ = 1;
  for (const unsigned char byte : edgeByte_) {
    if (classOf_[byte] == 0) classOf_[byte] = classCount_++;
  }
  const size_t rowBytes = classCount_ * sizeof(int32_t);
  // The root always has its row: every other state's failure chain ends there.
  denseCount_ =
      static_cast<int32_t>(std::min(stateCount, std::max<size_t>(1, denseBudget / rowBytes)));
  dense_.assign(static_cast<size_t>(denseCount_) * classCount_, 0);
  fail_.assign(stateCount, 0);
  outputHead_.assign(stateCount, -1);
  outputNext_.assign(stateCount, -1);
  for (size_t s = 0; s < stateCount; ++s) {
    const int32_t failure = fail_[s];
    if (s > 0) outputNext_[s] = outputHead_[static_cast<size_t>(failure)];
    outputHead_[s] = output_[s] >= 0 ? static_cast<int32_t>(s) : outputNext_[s];
    if (static_cast<int32_t>(s) < denseCount_) {
      int32_t* row = &dense_[s * classCount_];
      if (s > 0) std::copy_n(&dense_[static_cast<size_t>(failure) * classCount_], classCount_, row);
      for (int32_t e = firstEdge_[s]; e < firstEdge_[s + 1]; ++e) {
        row[classOf_[edgeByte_[e]]] = edgeTarget_[e];
      }
    }
    for (int32_t e = firstEdge_[s]; e < firstEdge_[s + 1]; ++e) {
      fail_[static_cast<size_t>(edgeTarget_[e])] = s == 0 ? 0 : plainNext(failure, edgeByte_[e]);
    }
  }
  // The transitions carry a mark for the states where some pattern ends, so that a scan looks
  // at the output lists only there.
  const auto mark = [&](int32_t state) {
    return state * 2 + (outputHead_[static_cast<size_t>(state)] >= 0 ? 1 : 0);
  };
  for (int32_t& next : dense_) next = mark(next);
  for (int32_t& target : edgeTarget_) target = mark(target);
}

void MultiPatternMatcher::FirstOccurrences(std::string_view text,
                                           std::vector<size_t>& starts) const {
  starts.assign(lengths_.size(), std::string_view::npos);
  size_t missing = reportedPatterns_;
  if (missing == 0) return;
  Scan(text, [&](int32_t index, size_t end) {
    size_t& start = starts[static_cast<size_t>(index)];
    // Occurrences arrive by their end; for one pattern the first end is the first start.
    if (start == std::string_view::npos) {
      start = end - lengths_[static_cast<size_t>(index)];
      --missing;
    }
    return missing > 0;
  });
}

}  // namespace quillmap
