#include "model/text_store.h"

#include <lz4.h>

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {

// Plain blocks: large enough that blocks are few, small enough that the last one wastes little.
constexpr size_t kPlainBlockSize = size_t{1} << 20;
// Compressed blocks: LZ4 finds most of what it can find in 64 KiB (header and argument texts of
// the Linux tree: 3.3 and 2.4 times smaller; 256 KiB gains under 5 %), and a read decompresses
// little more than it needs.
constexpr size_t kCompressedBlockSize = size_t{64} << 10;
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

bool AllZero(std::span<const uint32_t> numbers) {
  return std::all_of(numbers.begin(), numbers.end(), [](uint32_t n) { return n == 0; });
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

TextStore::TextStore(TextPacking packing) : packing_(packing) {
  open_.reserve(packing == TextPacking::kPlain ? kPlainBlockSize : kCompressedBlockSize);
  TextRef empty = 0;
  *Reserve(1, empty) = 0;  // reference 0: length 0, or a count of 0
}

char* TextStore::Reserve(size_t size, TextRef& ref) {
  const size_t blockSize = packing_ == TextPacking::kPlain ? kPlainBlockSize : kCompressedBlockSize;
  if (open_.capacity() - open_.size() < size) {
    if (!open_.empty()) Seal();
    open_.reserve(size > blockSize ? size : blockSize);
  }
  // An entry larger than a block has a block of its own, at offset 0: offsets fit 32 bits.
  ref = (static_cast<TextRef>(sealed_.size()) << kOffsetBits) | open_.size();
  open_.resize(open_.size() + size);  // within the capacity: nothing moves
  return open_.data() + (open_.size() - size);
}

void TextStore::Seal() {
  Block block;
  block.size = open_.size();
  if (packing_ == TextPacking::kCompressed && open_.size() <= LZ4_MAX_INPUT_SIZE) {
    std::string packed(static_cast<size_t>(LZ4_compressBound(static_cast<int>(open_.size()))), 0);
    const int packedSize =
        LZ4_compress_default(open_.data(), packed.data(), static_cast<int>(open_.size()),
                             static_cast<int>(packed.size()));
    if (packedSize > 0 && static_cast<size_t>(packedSize) < open_.size()) {
      block.bytes.assign(packed.data(), static_cast<size_t>(packedSize));
      block.compressed = true;
    }
  }
  if (!block.compressed) {
    // A plain block keeps its bytes where they are: texts read from it stay valid.
    block.bytes = std::move(open_);
  }
  sealed_.push_back(std::move(block));
  std::string().swap(open_);  // its memory goes (an assignment would keep it for the next block)
}

const char* TextStore::At(TextRef ref) const {
  const auto index = static_cast<size_t>(ref >> kOffsetBits);
  const auto offset = static_cast<size_t>(ref & ((TextRef{1} << kOffsetBits) - 1));
  if (index == sealed_.size()) return open_.data() + offset;
  const Block& block = sealed_[index];
  if (!block.compressed) return block.bytes.data() + offset;
  if (cachedBlock_ != index) {
    cache_.resize(block.size);
    // The store wrote the block itself: it decompresses to its size, or the memory is broken.
    LZ4_decompress_safe(block.bytes.data(), cache_.data(), static_cast<int>(block.bytes.size()),
                        static_cast<int>(block.size));
    cachedBlock_ = index;
  }
  return cache_.data() + offset;
}

TextRef TextStore::Add(std::string_view text, std::span<const uint32_t> numbers) {
  if (text.empty() && AllZero(numbers)) return 0;
  size_t size = LengthSize(text.size()) + text.size();
  for (const uint32_t number : numbers) size += LengthSize(number);
  TextRef ref = 0;
  char* out = Reserve(size, ref);
  for (const uint32_t number : numbers) out = PutLength(out, number);
  out = PutLength(out, text.size());
  std::memcpy(out, text.data(), text.size());
  return ref;
}

// Any range of texts that can be walked twice: the size first, then the bytes.
template <typename Texts>
TextRef TextStore::PutList(const Texts& texts, size_t count, std::span<const uint32_t> numbers) {
  if (count == 0 && AllZero(numbers)) return 0;
  size_t size = LengthSize(count);
  for (const uint32_t number : numbers) size += LengthSize(number);
  for (const std::string_view text : texts) size += LengthSize(text.size()) + text.size();
  TextRef ref = 0;
  char* out = Reserve(size, ref);
  for (const uint32_t number : numbers) out = PutLength(out, number);
  out = PutLength(out, count);
  for (const std::string_view text : texts) {
    out = PutLength(out, text.size());
    std::memcpy(out, text.data(), text.size());
    out += text.size();
  }
  return ref;
}

TextRef TextStore::AddList(const std::vector<std::string>& texts,
                           std::span<const uint32_t> numbers) {
  return PutList(texts, texts.size(), numbers);
}

TextRef TextStore::AddList(const TextList& texts, std::span<const uint32_t> numbers) {
  // A list read from this store's open block moves when making room seals that block: it is
  // copied out first.
  const std::less<const char*> before;
  const auto inOpenBlock = [&](std::string_view text) {
    return !text.empty() && !before(text.data(), open_.data()) &&
           before(text.data(), open_.data() + open_.size());
  };
  if (std::any_of(texts.begin(), texts.end(), inOpenBlock)) {
    const std::vector<std::string> copy(texts.begin(), texts.end());
    return PutList(copy, copy.size(), numbers);
  }
  return PutList(texts, texts.size(), numbers);
}

std::string_view TextStore::Text(TextRef ref, std::span<uint32_t> numbers) const {
  const char* at = Numbers(ref, numbers);
  uint64_t size = 0;
  at = GetLength(at, size);
  return {at, static_cast<size_t>(size)};
}

const char* TextStore::Numbers(TextRef ref, std::span<uint32_t> numbers) const {
  const char* at = At(ref);
  if (ref == 0) {
    std::fill(numbers.begin(), numbers.end(), 0);
    return at;
  }
  uint64_t value = 0;
  for (uint32_t& number : numbers) {
    at = GetLength(at, value);
    number = static_cast<uint32_t>(value);
  }
  return at;
}

TextList TextStore::List(TextRef ref, std::span<uint32_t> numbers) const {
  uint64_t count = 0;
  const char* first = GetLength(Numbers(ref, numbers), count);
  return {first, static_cast<size_t>(count)};
}

size_t TextStore::capacity() const {
  size_t bytes = open_.capacity() + cache_.capacity();
  for (const Block& block : sealed_) bytes += block.bytes.capacity();
  return bytes;
}

void TextStore::ReleaseBefore(TextRef ref) {
  const size_t end = std::min(static_cast<size_t>(ref >> kOffsetBits), sealed_.size());
  for (; released_ < end; ++released_) {
    std::string().swap(sealed_[released_].bytes);
  }
}

}  // namespace quillmap
