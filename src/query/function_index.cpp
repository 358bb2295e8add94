#include "query/function_index.h"

#include <algorithm>
#include <limits>

namespace quillmap {

namespace {

// Lays out `items` grouped by key: offsets[key] .. offsets[key + 1] index into the result, each
// group keeping the order of `items`.
template <class KeyOf>
std::vector<uint32_t> Grouped(size_t keys, size_t items, KeyOf keyOf,
                              std::vector<uint32_t>& offsets) {
  offsets.assign(keys + 1, 0);
  for (size_t i = 0; i < items; ++i) ++offsets[keyOf(i) + 1];
  for (size_t k = 0; k < keys; ++k) offsets[k + 1] += offsets[k];
  std::vector<uint32_t> grouped(items);
  std::vector<uint32_t> next(offsets.begin(), offsets.end() - 1);
  for (size_t i = 0; i < items; ++i) grouped[next[keyOf(i)]++] = static_cast<uint32_t>(i);
  return grouped;
}

}  // namespace

FunctionIndex::FunctionIndex(const CallGraphModel& model) : model_(model) {
  const size_t names = model.names.size();
  const size_t functions = model.functions.size();
  lines_.resize(functions);
  calleeCounts_.resize(functions);
  callerCounts_.assign(names, 0);
  // The last function that was counted for a name, so that a function counts once per name.
  constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
  std::vector<uint32_t> countedBy(names, kNone);
  std::vector<uint32_t> calledBy(names, kNone);
  for (uint32_t f = 0; f < functions; ++f) {
    const FunctionRecord& function = model.functions[f];
    lines_[f] = model.DetailsOf(function).line;
    for (const uint32_t c : model.CallsOf(function)) {
      const NameId callee = model.calls[c].callee;
      if (countedBy[callee] != f) {
        countedBy[callee] = f;
        ++callerCounts_[callee];
      }
      if (calledBy[callee] != f) {
        calledBy[callee] = f;
        ++calleeCounts_[f];
      }
    }
  }
  callsOfName_ = Grouped(
      names, model.calls.size(), [&](size_t c) { return model.calls[c].callee; }, callOffsets_);
  definitionsOfName_ = Grouped(
      names, functions, [&](size_t f) { return model.functions[f].name; }, definitionOffsets_);

  byName_.resize(functions);
  for (uint32_t f = 0; f < functions; ++f) byName_[f] = f;
  std::stable_sort(byName_.begin(), byName_.end(),
                   [this](uint32_t a, uint32_t b) { return NameOf(a) < NameOf(b); });
}

std::string_view FunctionIndex::FileOf(uint32_t function) const {
  const int32_t file = model_.functions[function].file;
  if (file < 0 || static_cast<size_t>(file) >= model_.sources.size()) return {};
  return model_.sources[file].path;
}

std::optional<uint32_t> FunctionIndex::Find(std::string_view name) const {
  const auto at = std::lower_bound(byName_.begin(), byName_.end(), name,
                                   [this](uint32_t f, std::string_view n) { return NameOf(f) < n; });
  if (at == byName_.end() || NameOf(*at) != name) return std::nullopt;
  return *at;
}

uint32_t FunctionIndex::CallerOf(uint32_t call) const {
  // Functions hold their calls one after the other: the caller is the last function that starts
  // at or before the call (functions without calls start where the next one does).
  size_t low = 0, high = model_.functions.size();
  while (high - low > 1) {
    const size_t middle = (low + high) / 2;
    if (model_.functions[middle].firstCall <= call) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return static_cast<uint32_t>(low);
}

std::vector<CallSite> FunctionIndex::CallersOf(NameId name) const {
  std::vector<CallSite> sites;
  if (name + 1 >= callOffsets_.size()) return sites;
  for (uint32_t i = callOffsets_[name]; i < callOffsets_[name + 1]; ++i) {
    sites.push_back({CallerOf(callsOfName_[i]), callsOfName_[i]});
  }
  return sites;
}

std::vector<CallSite> FunctionIndex::CalleesOf(uint32_t function) const {
  std::vector<CallSite> sites;
  for (const uint32_t c : model_.CallsOf(model_.functions[function])) sites.push_back({function, c});
  return sites;
}

std::vector<uint32_t> FunctionIndex::DefinitionsOf(NameId name) const {
  if (name + 1 >= definitionOffsets_.size()) return {};
  return {definitionsOfName_.begin() + definitionOffsets_[name],
          definitionsOfName_.begin() + definitionOffsets_[name + 1]};
}

}  // namespace quillmap
