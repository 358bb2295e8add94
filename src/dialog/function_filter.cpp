#include "dialog/function_filter.h"

#include <algorithm>
#include <cctype>

namespace quillmap {

namespace {
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Whether the letters of `typed` stand in `name` in their order.
bool HoldsInOrder(std::string_view name, std::string_view typed) {
  size_t at = 0;
  for (const char c : name) {
    if (c == typed[at] && ++at == typed.size()) return true;
  }
  return false;
}
}  // namespace

MatchKind MatchOf(std::string_view name, std::string_view typed) {
  if (typed.empty()) return MatchKind::kExact;
  const size_t at = name.find(typed);
  if (at == 0) return name.size() == typed.size() ? MatchKind::kExact : MatchKind::kPrefix;
  if (at != std::string_view::npos) return MatchKind::kSubstring;
  return HoldsInOrder(name, typed) ? MatchKind::kFuzzy : MatchKind::kNone;
}

FunctionFilter::FunctionFilter(const FunctionIndex& index) : index_(index) {
  const std::vector<uint32_t>& byName = index.byName();
  loweredStarts_.reserve(byName.size() + 1);
  for (const uint32_t function : byName) {
    loweredStarts_.push_back(static_cast<uint32_t>(lowered_.size()));
    for (const char c : index.NameOf(function)) lowered_ += Lower(c);
  }
  loweredStarts_.push_back(static_cast<uint32_t>(lowered_.size()));
  matches_ = byName;
}

void FunctionFilter::SetText(std::string_view typed) {
  std::string lowered(typed);
  for (char& c : lowered) c = Lower(c);
  const std::vector<uint32_t>& byName = index_.byName();
  if (lowered.empty()) {
    typed_.clear();
    candidates_.clear();
    matches_ = byName;
    return;
  }
  // A name that matches the longer text matches the shorter one it starts with.
  const bool narrowing = !typed_.empty() && lowered.starts_with(typed_);
  if (!narrowing) {
    candidates_.resize(byName.size());
    for (uint32_t i = 0; i < candidates_.size(); ++i) candidates_[i] = i;
  }
  typed_ = std::move(lowered);

  // Ranked by match kind, then the name's length, then its place by name. The candidates stand
  // in place order, so a counting sort by kind and length keeps that order within each of its
  // buckets: linear, where sorting a whole tree's first letter took most of a key's time.
  constexpr size_t kLengths = 256;
  constexpr size_t kBuckets = static_cast<size_t>(MatchKind::kNone) * kLengths;
  std::vector<uint32_t> counts(kBuckets + 1, 0);
  std::vector<uint16_t> bucketOf;
  bucketOf.reserve(candidates_.size());
  size_t kept = 0;
  for (const uint32_t place : candidates_) {
    const std::string_view name(lowered_.data() + loweredStarts_[place],
                                loweredStarts_[place + 1] - loweredStarts_[place]);
    const MatchKind kind = MatchOf(name, typed_);
    if (kind == MatchKind::kNone) continue;
    candidates_[kept++] = place;
    const size_t bucket =
        static_cast<size_t>(kind) * kLengths + std::min(name.size(), kLengths - 1);
    bucketOf.push_back(static_cast<uint16_t>(bucket));
    ++counts[bucket + 1];
  }
  candidates_.resize(kept);
  for (size_t b = 0; b < kBuckets; ++b) counts[b + 1] += counts[b];
  matches_.resize(kept);
  for (size_t i = 0; i < kept; ++i) matches_[counts[bucketOf[i]]++] = byName[candidates_[i]];
}

}  // namespace quillmap
