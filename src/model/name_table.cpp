#include "model/name_table.h"

#include <functional>

namespace quillmap {

namespace {

constexpr size_t kFirstSlots = 1024;  // a power of two

uint32_t HashOf(std::string_view name) {
  const uint64_t hash = std::hash<std::string_view>{}(name);
  return static_cast<uint32_t>((hash * 0x9E3779B97F4A7C15ull) >> 32);
}

}  // namespace

NameTable::NameTable() : slots_(kFirstSlots, 0) { Intern(std::string_view()); }

size_t NameTable::SlotOf(std::string_view name, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint32_t entry = slots_[slot];
    if (entry == 0) return slot;
    if (hashes_[entry - 1] == hash && texts_.Text(refs_[entry - 1]) == name) return slot;
  }
}

NameId NameTable::Intern(std::string_view name) {
  const uint32_t hash = HashOf(name);
  const size_t slot = SlotOf(name, hash);
  if (slots_[slot] != 0) return slots_[slot] - 1;
  const auto id = static_cast<NameId>(refs_.size());
  refs_.push_back(texts_.Add(name));
  hashes_.push_back(hash);
  slots_[slot] = id + 1;
  // At most three quarters full, so that probes stay short.
  if (4 * refs_.size() > 3 * slots_.size()) Grow();
  return id;
}

void NameTable::Grow() {
  slots_.assign(2 * slots_.size(), 0);
  const size_t mask = slots_.size() - 1;
  for (size_t id = 0; id < refs_.size(); ++id) {
    // Every name is distinct: its slot is the first empty one from its home.
    size_t slot = hashes_[id] & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<uint32_t>(id + 1);
  }
}

}  // namespace quillmap
