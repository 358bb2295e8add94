#include "text/text_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace quillmap {
namespace {

TEST(TextArena, HandsOutSeparateAlignedMemoryOfEverySize) {
  TextArena arena;
  std::vector<std::pair<char*, size_t>> pieces;
  // Small pieces that fill blocks, and one larger than a block.
  for (size_t size : {size_t{1}, size_t{17}, size_t{4096}, size_t{40} << 20, size_t{3}}) {
    for (int i = 0; i < 3; ++i) {
      char* piece = arena.Allocate(size);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(piece) % 16, 0u);
      std::memset(piece, static_cast<int>(pieces.size()), size);
      pieces.emplace_back(piece, size);
    }
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    const auto [piece, size] = pieces[i];
    EXPECT_EQ(piece[0], static_cast<char>(i));
    EXPECT_EQ(piece[size - 1], static_cast<char>(i)) << "piece " << i << " was overwritten";
  }
  arena.Clear();
  EXPECT_NE(arena.Allocate(10), nullptr);
}

}  // namespace
}  // namespace quillmap
