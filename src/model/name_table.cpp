#include "model/name_table.h"

#include <functional>

namespace quillmap {

namespace {
constexpr size_t kFirstSlots = 1024;  // a power of two
}  // namespace

NameTable::NameTable() : slots_(kFirstSlots, 0) { Intern(std::string_view()); }

size_t NameTable::SlotOf(std::string_view name) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = std::hash<std::string_view>{}(name)&mask;; slot = (slot + 1) & mask) {
    const uint32_t entry = slots_[slot];
    if (entry == 0 || texts_.Text(refs_[entry - 1]) == name) return slot;
  }
}

NameId NameTable::Intern(std::string_view name) {
  size_t slot = SlotOf(name);
  if (slots_[slot] != 0) return slots_[slot] - 1;
  const auto id = static_cast<NameId>(refs_.size());
  refs_.push_back(texts_.Add(name));
  slots_[slot] = id + 1;
  // At most three quarters full, so that probes stay short.
  if (4 * refs_.size() > 3 * slots_.size()) Grow();
  return id;
}

void NameTable::Grow() {
  slots_.assign(2 * slots_.size(), 0);
  for (size_t id = 0; id < refs_.size(); ++id) {
    slots_[SlotOf(texts_.Text(refs_[id]))] = static_cast<uint32_t>(id + 1);
  }
}

}  // namespace quillmap
