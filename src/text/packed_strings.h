/// A list of strings kept as one block of characters and the end of each: hundreds of thousands
/// of short names take their own bytes and 8 more each, not a string object and a heap block
/// apiece. Entries read as views, valid until the list changes.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

class PackedStrings {
 public:
  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;

    Iterator() = default;
    Iterator(const PackedStrings* list, size_t at) : list_(list), at_(at) {}
    std::string_view operator*() const { return (*list_)[at_]; }
    std::string_view operator[](difference_type n) const {
      return (*list_)[at_ + static_cast<size_t>(n)];
    }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++at_;
      return before;
    }
    Iterator& operator--() {
      --at_;
      return *this;
    }
    Iterator operator--(int) {
      Iterator before = *this;
      --at_;
      return before;
    }
    Iterator& operator+=(difference_type n) {
      at_ += static_cast<size_t>(n);
      return *this;
    }
    Iterator& operator-=(difference_type n) {
      at_ -= static_cast<size_t>(n);
      return *this;
    }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.at_ <=> b.at_; }

   private:
    const PackedStrings* list_ = nullptr;
    size_t at_ = 0;
  };
  using value_type = std::string_view;
  using const_iterator = Iterator;
  using iterator = Iterator;
  using size_type = size_t;

  PackedStrings() = default;
  PackedStrings(std::initializer_list<std::string_view> texts) {
    for (const std::string_view text : texts) push_back(text);
  }

  void push_back(std::string_view text) {
    bytes_.append(text);
    ends_.push_back(bytes_.size());
  }
  void emplace_back(std::string_view text) { push_back(text); }
  /// Room for `count` entries of `bytes` characters in all.
  void reserve(size_t count, size_t bytes = 0) {
    ends_.reserve(count);
    bytes_.reserve(bytes);
  }
  void clear() {
    bytes_.clear();
    ends_.clear();
  }

  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](size_t i) const {
    const size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, ends_.size()}; }

  friend bool operator==(const PackedStrings& a, const PackedStrings& b) {
    return a.ends_ == b.ends_ && a.bytes_ == b.bytes_;
  }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;
};

}  // namespace quillmap
