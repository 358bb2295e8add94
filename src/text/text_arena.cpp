#include "text/text_arena.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace quillmap {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kBlockSize = size_t{32} << 20;
constexpr size_t kAlignment = 16;
}  // namespace

char* TextArena::Allocate(size_t size) {
  size = (size + kAlignment - 1) & ~(kAlignment - 1);
  if (blocks_.empty() || blocks_.back().size - used_ < size) {
    // A block aligned to a huge page: mapped one huge page larger, the ends cut off.
    const size_t blockSize =
        size > kBlockSize ? (size + kHugePage - 1) & ~(kHugePage - 1) : kBlockSize;
    void* mapped = mmap(nullptr, blockSize + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    char* const start = static_cast<char*>(mapped);
    char* const aligned = reinterpret_cast<char*>(
        (reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1));
    if (aligned > start) munmap(start, static_cast<size_t>(aligned - start));
    const size_t tail = static_cast<size_t>(start + blockSize + kHugePage - (aligned + blockSize));
    if (tail > 0) munmap(aligned + blockSize, tail);
    madvise(aligned, blockSize, MADV_HUGEPAGE);  // advice only: without it, normal pages
    blocks_.push_back({aligned, blockSize});
    used_ = 0;
  }
  char* const result = blocks_.back().data + used_;
  used_ += size;
  return result;
}

void TextArena::Clear() {
  for (const Block& block : blocks_) munmap(block.data, block.size);
  blocks_.clear();
  used_ = 0;
}

}  // namespace quillmap
