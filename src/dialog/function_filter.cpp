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

  // Sort keys: the match kind, the name's length, its place by name; the place also says which
  // function it is.
  std::vector<uint64_t> keys;
  keys.reserve(candidates_.size());
  size_t kept = 0;
  for (const uint32_t place : candidates_) {
    const std::string_view name(lowered_.data() + loweredStarts_[place],
                                loweredStarts_[place + 1] - loweredStarts_[place]);
    const MatchKind kind = MatchOf(name, typed_);
    if (kind == MatchKind::kNone) continue;
    candidates_[kept++] = place;
    const uint64_t length = std::min<size_t>(name.size(), 0xFFFF);
    keys.push_back((uint64_t{static_cast<uint8_t>(kind)} << 56) | (length << 32) | place);
  }
  candidates_.resize(kept);
  std::sort(keys.begin(), keys.end());
  matches_.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) matches_[i] = byName[static_cast<uint32_t>(keys[i])];
}

}  // namespace quillmap
