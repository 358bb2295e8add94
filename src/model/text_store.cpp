#include "model/text_store.h"

#include <cstring>

namespace quillmap {

namespace {

// Large enough that blocks are few, small enough that the last one wastes little.
constexpr size_t kBlockSize = size_t{1} << 20;
constexpr unsigned kOffsetBits = 32;

// Lengths and counts are written in 7-bit groups, low first, the high bit saying "more follows":
// most texts are short, so one byte each.
size_t LengthSize(uint64_t value) {
  size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

char* PutLength(char* out, uint64_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>((value & 0x7f) | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

const char* GetLength(const char* in, uint64_t& value) {
  value = 0;
  for (unsigned shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) return in;
  }
}

}  // namespace

std::string_view TextList::Iterator::operator*() const {
  uint64_t size = 0;
  const char* text = GetLength(at_, size);
  return {text, static_cast<size_t>(size)};
}

TextList::Iterator& TextList::Iterator::operator++() {
  uint64_t size = 0;
  at_ = GetLength(at_, size) + size;
  --left_;
  return *this;
}

TextStore::TextStore() {
  TextRef empty = 0;
  *Reserve(1, empty) = 0;  // reference 0: length 0, or a count of 0
}

char* TextStore::Reserve(size_t size, TextRef& ref) {
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < size) {
    blocks_.emplace_back();
    blocks_.back().reserve(size > kBlockSize ? size : kBlockSize);
  }
  std::string& block = blocks_.back();
  // An entry larger than a block has a block of its own, at offset 0: offsets fit 32 bits.
  ref = (static_cast<TextRef>(blocks_.size() - 1) << kOffsetBits) | block.size();
  block.resize(block.size() + size);  // within the capacity: nothing moves
  return block.data() + (block.size() - size);
}

const char* TextStore::At(TextRef ref) const {
  return blocks_[static_cast<size_t>(ref >> kOffsetBits)].data() +
         static_cast<size_t>(ref & ((TextRef{1} << kOffsetBits) - 1));
}

TextRef TextStore::Add(std::string_view text) {
  if (text.empty()) return 0;
  TextRef ref = 0;
  char* out = PutLength(Reserve(LengthSize(text.size()) + text.size(), ref), text.size());
  std::memcpy(out, text.data(), text.size());
  return ref;
}

TextRef TextStore::AddList(const std::vector<std::string>& texts) {
  if (texts.empty()) return 0;
  size_t size = LengthSize(texts.size());
  for (const std::string& text : texts) size += LengthSize(text.size()) + text.size();
  TextRef ref = 0;
  char* out = PutLength(Reserve(size, ref), texts.size());
  for (const std::string& text : texts) {
    out = PutLength(out, text.size());
    std::memcpy(out, text.data(), text.size());
    out += text.size();
  }
  return ref;
}

std::string_view TextStore::Text(TextRef ref) const {
  uint64_t size = 0;
  const char* text = GetLength(At(ref), size);
  return {text, static_cast<size_t>(size)};
}

TextList TextStore::List(TextRef ref) const {
  uint64_t count = 0;
  const char* first = GetLength(At(ref), count);
  return {first, static_cast<size_t>(count)};
}

size_t TextStore::capacity() const {
  size_t bytes = 0;
  for (const std::string& block : blocks_) bytes += block.capacity();
  return bytes;
}

}  // namespace quillmap
