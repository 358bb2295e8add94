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
  std::string_view operator[](NameId id) const { return texts_.Text(refs_[id]); }
  /// Ids count from 0 to size() - 1 in the order the names were first interned.
  size_t size() const { return refs_.size(); }

 private:
  // The slot that holds `name` (whose hash is `hash`), or the empty slot where it would go.
  size_t SlotOf(std::string_view name, uint32_t hash) const;
  void Grow();

  TextStore texts_;
  std::deque<TextRef> refs_;     // by id; a deque grows without a spare half
  // By id: the name's hash. A probe compares it first, so that it reads a name's text only when
  // the hashes agree: on large tables every text read is a cache miss.
  std::deque<uint32_t> hashes_;
  std::vector<uint32_t> slots_;  // open addressing: id + 1, or 0 for an empty slot
};

}  // namespace quillmap
