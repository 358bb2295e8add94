/// Names interned: each distinct name is stored once and named by a 32-bit id, so that the
/// millions of calls of a large tree refer to the few hundred thousand names they share.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "model/text_store.h"

namespace quillmap {

/// An interned name. 0 is the empty name.
using NameId = uint32_t;

class NameTable {
 public:
  NameTable();

  /// The id of `name`, added when new.
  NameId Intern(std::string_view name);
  /// The id of a name interned before into `id`; false when it never was.
  bool Find(std::string_view name, NameId& id) const;
  std::string_view operator[](NameId id) const { return texts_.Text(refs_[id]); }
  /// Ids count from 0 to size() - 1 in the order the names were first interned.
  size_t size() const { return refs_.size(); }

 private:
  // One slot of the open-addressing table. A probe compares the hash kept in the slot and finds
  // the text through the slot's short reference, so that on a large table a lookup costs one
  // cache miss for the slot and one for the text, and reads a text only when the hashes agree.
  struct Slot {
    uint32_t hash = 0;
    uint32_t id_plus_1 = 0;  // 0: empty
    uint32_t short_ref = 0;  // the text's reference in 32 bits, or 0 where it does not fit
  };

  // The slot that holds `name` (whose hash is `hash`), or the empty slot where it would go.
  size_t SlotOf(std::string_view name, uint32_t hash) const;
  std::string_view TextOf(const Slot& slot) const;
  void Grow();

  TextStore texts_;
  std::deque<TextRef> refs_;  // by id; a deque grows without a spare half
  std::vector<Slot> slots_;
};

}  // namespace quillmap
