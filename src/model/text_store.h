/// Many small texts kept together: each is appended once to large character blocks and named by
/// a 64-bit reference, so that a graph of millions of calls holds no string object per text;
/// full blocks may be compressed. A text may also be a list of texts (a call's arguments),
/// stored as one entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

/// Where an entry stands in a TextStore: its block in the upper half, its offset in the lower.
/// 0 is the empty entry (an empty text, or a list of no texts).
using TextRef = uint64_t;

/// The texts of one list entry, read in place.
class TextList {
 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;

    Iterator() = default;
    Iterator(const char* at, size_t left) : at_(at), left_(left) {}
    std::string_view operator*() const;
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    // Iterators of one list: those with as many texts left stand at the same text.
    bool operator==(const Iterator& other) const { return left_ == other.left_; }

   private:
    const char* at_ = nullptr;  // the length of the current text, then its bytes
    size_t left_ = 0;           // texts from here to the end
  };

  TextList() = default;
  TextList(const char* first, size_t count) : first_(first), count_(count) {}
  Iterator begin() const { return {first_, count_}; }
  Iterator end() const { return {nullptr, 0}; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  const char* first_ = nullptr;
  size_t count_ = 0;
};

/// How a store keeps its blocks.
enum class TextPacking {
  kPlain,       // as written: a text read stays in place as long as the store
  kCompressed,  // each full block compressed (LZ4); a text read from it stays valid until the
                // next read of another block (one block is kept open for reading, so reading in
                // the order written decompresses each block once). Reading changes that cache:
                // one thread at a time.
};

class TextStore {
 public:
  explicit TextStore(TextPacking packing = TextPacking::kPlain);

  /// A text, after `numbers` (small numbers take one byte each).
  TextRef Add(std::string_view text, std::span<const uint32_t> numbers = {});
  /// A list, after `numbers`.
  TextRef AddList(const std::vector<std::string>& texts, std::span<const uint32_t> numbers = {});
  /// A list read from a store (this one or another), after `numbers`.
  TextRef AddList(const TextList& texts, std::span<const uint32_t> numbers = {});
  /// The entry of `ref` as a text, after as many numbers as `numbers` holds (all 0 for the
  /// empty entry).
  std::string_view Text(TextRef ref, std::span<uint32_t> numbers = {}) const;
  /// The entry of `ref` as a list, after as many numbers as `numbers` holds (all 0 for the
  /// empty entry).
  TextList List(TextRef ref, std::span<uint32_t> numbers = {}) const;
  /// Bytes held, with the unused ends of blocks.
  size_t capacity() const;
  /// Lets go of the full blocks before the one that holds `ref`, for a reader that reads the
  /// store in the order written and will not go back: the entries there are not to be read
  /// again (the empty entry, reference 0, stays readable).
  void ReleaseBefore(TextRef ref);

 private:
  struct Block {
    std::string bytes;  // compressed, when `compressed`; else the texts themselves
    size_t size = 0;    // the texts' bytes
    bool compressed = false;
  };

  template <typename Texts>
  TextRef PutList(const Texts& texts, size_t count, std::span<const uint32_t> numbers);
  // Room for an entry of `size` bytes in one block; its reference goes to `ref`.
  char* Reserve(size_t size, TextRef& ref);
  // Closes the block being written.
  void Seal();
  const char* At(TextRef ref) const;
  // Reads the numbers before the entry's text or list; returns where that starts.
  const char* Numbers(TextRef ref, std::span<uint32_t> numbers) const;

  TextPacking packing_;
  std::vector<Block> sealed_;
  std::string open_;  // the block being written: reserved once, never reallocated
  mutable size_t cachedBlock_ = static_cast<size_t>(-1);
  mutable std::string cache_;  // the sealed block last read, decompressed
  size_t released_ = 1;        // blocks [1, released_) are let go; block 0 holds reference 0
};

}  // namespace quillmap
