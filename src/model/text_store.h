/// Many small texts kept together: each is appended once to large character blocks and named by
/// a 64-bit reference, so that a graph of millions of calls holds no string object per text.
/// A text may also be a list of texts (a call's arguments), stored as one entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
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

class TextStore {
 public:
  TextStore();

  TextRef Add(std::string_view text);
  TextRef AddList(const std::vector<std::string>& texts);
  /// The entry of `ref` as a text (valid until the store changes size or ends).
  std::string_view Text(TextRef ref) const;
  /// The entry of `ref` as a list.
  TextList List(TextRef ref) const;
  /// Bytes held, with the unused ends of blocks.
  size_t capacity() const;

 private:
  // Room for an entry of `size` bytes in one block; its reference goes to `ref`.
  char* Reserve(size_t size, TextRef& ref);
  const char* At(TextRef ref) const;

  std::vector<std::string> blocks_;  // each reserved once; appended to, never reallocated
};

}  // namespace quillmap
