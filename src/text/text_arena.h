/// Memory for many file texts that live together and go together, handed out from large blocks
/// that the system may back with huge pages: a scan that keeps every file of a tree in memory
/// then takes one page fault per 2 MiB instead of one per 4 KiB.
#pragma once

#include <cstddef>
#include <vector>

namespace quillmap {

class TextArena {
 public:
  TextArena() = default;
  ~TextArena() { Clear(); }
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  /// `size` bytes, valid until Clear or the arena's end.
  char* Allocate(size_t size);
  /// Gives all memory back.
  void Clear();

 private:
  struct Block {
    char* data;
    size_t size;
  };
  std::vector<Block> blocks_;
  size_t used_ = 0;  // of the last block
};

}  // namespace quillmap
