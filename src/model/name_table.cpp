#include "model/name_table.h"

#include <functional>

namespace quillmap {

namespace {

constexpr size_t kFirstSlots = 1024;  // a power of two

uint32_t HashOf(std::string_view name) {
  const uint64_t hash = std::hash<std::string_view>{}(name);
  return static_cast<uint32_t>((hash * 0x9E3779B97F4A7C15ull) >> 32);
}

// A reference in 32 bits: 12 bits of block and 20 of offset (the name store's blocks are 1 MiB),
// plus one. Names past the first 4 GiB keep only their full reference (0 here).
constexpr int kShortOffsetBits = 20;
constexpr TextRef kShortBlocks = (TextRef{1} << (32 - kShortOffsetBits)) - 1;

uint32_t ShortRef(TextRef ref) {
  const TextRef block = ref >> 32;
  const TextRef offset = ref & 0xFFFFFFFFu;
  if (block >= kShortBlocks || offset >= (TextRef{1} << kShortOffsetBits)) return 0;
  return static_cast<uint32_t>((block << kShortOffsetBits | offset) + 1);
}

TextRef FullRef(uint32_t shortRef) {
  const TextRef bits = shortRef - 1;
  return (bits >> kShortOffsetBits) << 32 | (bits & ((TextRef{1} << kShortOffsetBits) - 1));
}

}  // namespace

std::string_view NameTable::TextOf(const Slot& slot) const {
  return texts_.Text(slot.short_ref != 0 ? FullRef(slot.short_ref) : refs_[slot.id_plus_1 - 1]);
}

NameTable::NameTable() : slots_(kFirstSlots) { Intern(std::string_view()); }

size_t NameTable::SlotOf(std::string_view name, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const Slot& entry = slots_[slot];
    if (entry.id_plus_1 == 0) return slot;
    if (entry.hash == hash && TextOf(entry) == name) return slot;
  }
}

NameId NameTable::Intern(std::string_view name) {
  const uint32_t hash = HashOf(name);
  const size_t slot = SlotOf(name, hash);
  if (slots_[slot].id_plus_1 != 0) return slots_[slot].id_plus_1 - 1;
  const auto id = static_cast<NameId>(refs_.size());
  const TextRef ref = texts_.Add(name);
  refs_.push_back(ref);
  slots_[slot] = Slot{hash, id + 1, ShortRef(ref)};
  // At most three quarters full, so that probes stay short.
  if (4 * refs_.size() > 3 * slots_.size()) Grow();
  return id;
}

bool NameTable::Find(std::string_view name, NameId& id) const {
  const Slot& slot = slots_[SlotOf(name, HashOf(name))];
  if (slot.id_plus_1 == 0) return false;
  id = slot.id_plus_1 - 1;
  return true;
}

void NameTable::Grow() {
  std::vector<Slot> old(2 * slots_.size());
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& entry : old) {
    if (entry.id_plus_1 == 0) continue;
    // Every name is distinct: its slot is the first empty one from its home.
    size_t slot = entry.hash & mask;
    while (slots_[slot].id_plus_1 != 0) slot = (slot + 1) & mask;
    slots_[slot] = entry;
  }
}

}  // namespace quillmap
