#include "lsp/symbol_search.h"

#include <algorithm>
#include <utility>

#include "lsp/fuzzy_match.h"

namespace quillmap::lsp {

namespace {

// Letters and digits have a bit each, '_' one; other bytes share the rest (a shared bit only
// lets more names through to the exact checks).
int BitOf(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= '0' && c <= '9') return 26 + (c - '0');
  if (c == '_') return 36;
  return 37 + c % 27;
}

}  // namespace

uint64_t SymbolSearch::LetterMask(std::string_view lower) {
  uint64_t mask = 0;
  for (const char c : lower) mask |= uint64_t{1} << BitOf(static_cast<unsigned char>(c));
  return mask;
}

void SymbolSearch::Reserve(size_t names, size_t bytes) {
  // Room for a small batch keeps a margin, so that batch after batch do not copy every time.
  const auto grow = [](auto& buffer, size_t more) {
    if (buffer.capacity() - buffer.size() < more) buffer.reserve(buffer.size() + more + buffer.size() / 8);
  };
  grow(ids_, names);
  grow(masks_, names);
  grow(ends_, names);
  grow(lower_, bytes);
}

void SymbolSearch::Add(int32_t id, std::string_view text) {
  const std::string lower = ToLower(text);
  ids_.push_back(id);
  masks_.push_back(LetterMask(lower));
  lower_ += lower;
  ends_.push_back(static_cast<uint32_t>(lower_.size()));
}

std::vector<int32_t> SymbolSearch::Find(std::string_view typed, size_t limit,
                                        const NameOf& nameOf, const Counts& counts) const {
  const std::string lowerTyped = ToLower(typed);
  const uint64_t typedMask = LetterMask(lowerTyped);
  std::vector<std::pair<int, int32_t>> ranked;
  for (size_t k = 0; k < ids_.size(); ++k) {
    if ((masks_[k] & typedMask) != typedMask) continue;
    const uint32_t start = k == 0 ? 0 : ends_[k - 1];
    if (ends_[k] - start < lowerTyped.size()) continue;
    const std::string_view lower(lower_.data() + start, ends_[k] - start);
    if (!HasLettersInOrder(lowerTyped, lower)) continue;
    const int score = FuzzyScore(typed, nameOf(ids_[k]));
    if (score != kNoMatch && counts(ids_[k])) ranked.emplace_back(score, ids_[k]);
  }
  const auto better = [&nameOf](const std::pair<int, int32_t>& a,
                                const std::pair<int, int32_t>& b) {
    if (a.first != b.first) return a.first > b.first;
    return nameOf(a.second) < nameOf(b.second);
  };
  const size_t kept = std::min(ranked.size(), limit);
  std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept),
                    ranked.end(), better);
  std::vector<int32_t> best;
  best.reserve(kept);
  for (size_t k = 0; k < kept; ++k) best.push_back(ranked[k].second);
  return best;
}

}  // namespace quillmap::lsp
