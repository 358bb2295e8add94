#include "dialog/log_lines.h"

#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <cctype>

namespace quillmap {

namespace {
// LZ4's fastest high-compression level: a whole tree's log (266 MB) in blocks of 64 KiB takes
// 60 MB, where the fast mode leaves 82 MB, at about 120 MB/s.
constexpr int kCompressionLevel = LZ4HC_CLEVEL_MIN;

// Continuation bytes of a UTF-8 sequence take no column of their own.
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t ColumnAfter(size_t column, char c) {
  if (c == '\t') return (column / kLogTabWidth + 1) * kLogTabWidth;
  if (c == '\r' || IsContinuationByte(c)) return column;
  return column + 1;
}

// Where each line of `text` begins.
void FindStarts(std::string_view text, std::vector<uint32_t>& starts) {
  starts.assign(1, 0);
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    if (at + 1 < text.size()) starts.push_back(static_cast<uint32_t>(at + 1));
  }
}
}  // namespace

void LogLines::Append(std::string_view text) {
  const size_t base = open_.size();
  open_.append(text);
  size_ += text.size();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      openStarts_.push_back(static_cast<uint32_t>(base + i + 1));
      lastColumns_ = 0;
    } else {
      lastColumns_ = ColumnAfter(lastColumns_, text[i]);
      widestColumns_ = std::max(widestColumns_, lastColumns_);
    }
  }
  SealFullBlocks();
}

void LogLines::SealFullBlocks() {
  // Lines openStarts_[0, line) stand before `from`, which starts a line.
  size_t from = 0, line = 0;
  while (true) {
    // The block ends at the first line start a block's size or more past its beginning; the
    // last line start is the open line's, which is never sealed.
    const auto end = std::lower_bound(openStarts_.begin() + static_cast<ptrdiff_t>(line) + 1,
                                      openStarts_.end(), from + blockBytes_);
    if (end == openStarts_.end()) break;
    Block block;
    block.size = *end - static_cast<uint32_t>(from);
    block.firstLine = openFirstLine_ + line;
    const char* text = open_.data() + from;
    std::string packed(static_cast<size_t>(LZ4_compressBound(static_cast<int>(block.size))), '\0');
    const int packedSize =
        LZ4_compress_HC(text, packed.data(), static_cast<int>(block.size),
                        static_cast<int>(packed.size()), kCompressionLevel);
    if (packedSize > 0 && static_cast<uint32_t>(packedSize) < block.size) {
      packed.resize(static_cast<size_t>(packedSize));
      packed.shrink_to_fit();
      block.bytes = std::move(packed);
      block.compressed = true;
    } else {
      block.bytes.assign(text, block.size);
    }
    sealed_.push_back(std::move(block));
    line = static_cast<size_t>(end - openStarts_.begin());
    from = *end;
  }
  if (line == 0) return;
  open_.erase(0, from);
  openStarts_.erase(openStarts_.begin(), openStarts_.begin() + static_cast<ptrdiff_t>(line));
  for (uint32_t& start : openStarts_) start -= static_cast<uint32_t>(from);
  openFirstLine_ += line;
  // A large append leaves a large open text behind: its room goes with it.
  if (open_.capacity() > 4 * blockBytes_) open_.shrink_to_fit();
}

void LogLines::Clear() {
  sealed_.clear();
  std::string().swap(open_);
  openStarts_.assign(1, 0);
  openFirstLine_ = 0;
  size_ = 0;
  lastColumns_ = 0;
  widestColumns_ = 0;
  cachedBlock_ = SIZE_MAX;
  std::string().swap(cache_);
  cacheStarts_.clear();
}

std::string LogLines::text() const {
  std::string whole;
  whole.reserve(size_);
  std::string block;
  for (const Block& sealed : sealed_) {
    if (!sealed.compressed) {
      whole += sealed.bytes;
      continue;
    }
    block.resize(sealed.size);
    LZ4_decompress_safe(sealed.bytes.data(), block.data(), static_cast<int>(sealed.bytes.size()),
                        static_cast<int>(sealed.size));
    whole += block;
  }
  return whole + open_;
}

size_t LogLines::heldBytes() const {
  size_t held = open_.capacity() + openStarts_.capacity() * sizeof(uint32_t) +
                sealed_.capacity() * sizeof(Block);
  for (const Block& block : sealed_) held += block.bytes.capacity();
  return held;
}

std::string_view LogLines::RawLine(size_t index) const {
  std::string_view text;
  const std::vector<uint32_t>* starts = nullptr;
  size_t line = 0;
  if (index >= openFirstLine_) {
    text = open_;
    starts = &openStarts_;
    line = index - openFirstLine_;
  } else {
    // The last block that begins at or before the line.
    const auto after = std::upper_bound(
        sealed_.begin(), sealed_.end(), index,
        [](size_t wanted, const Block& block) { return wanted < block.firstLine; });
    const size_t blockIndex = static_cast<size_t>(after - sealed_.begin()) - 1;
    const Block& block = sealed_[blockIndex];
    if (cachedBlock_ != blockIndex) {
      if (block.compressed) {
        cache_.resize(block.size);
        // The log wrote the block itself: it decompresses to its size.
        LZ4_decompress_safe(block.bytes.data(), cache_.data(), static_cast<int>(block.bytes.size()),
                            static_cast<int>(block.size));
      } else {
        cache_ = block.bytes;
      }
      FindStarts(cache_, cacheStarts_);
      cachedBlock_ = blockIndex;
    }
    text = cache_;
    starts = &cacheStarts_;
    line = index - block.firstLine;
  }
  const size_t begin = (*starts)[line];
  // A sealed block's lines each end in a line feed; the open text's last line may not.
  size_t end = line + 1 < starts->size() ? (*starts)[line + 1] - 1 : text.size();
  if (end > begin && end == text.size() && starts != &openStarts_) --end;
  return text.substr(begin, end - begin);
}

std::string LogLines::Line(size_t index) const {
  if (index >= lineCount()) return {};
  std::string line(RawLine(index));
  std::erase(line, '\r');
  return line;
}

std::string LogLines::ShownLine(size_t index) const {
  const std::string line = Line(index);
  if (line.find('\t') == std::string::npos) return line;
  std::string shown;
  size_t column = 0;
  for (char c : line) {
    const size_t next = ColumnAfter(column, c);
    if (c == '\t') {
      shown.append(next - column, ' ');
    } else {
      shown += c;
    }
    column = next;
  }
  return shown;
}

std::string LogLines::Lines(size_t first, size_t last) const {
  if (first > last) std::swap(first, last);
  std::string joined;
  for (size_t index = first; index <= last && index < lineCount(); ++index) {
    if (index > first) joined += '\n';
    joined += Line(index);
  }
  return joined;
}

std::optional<size_t> LogLines::Find(std::string_view text, size_t from) const {
  const size_t lines = lineCount();
  if (text.empty() || lines == 0) return std::nullopt;
  const auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  std::string wanted(text);
  for (char& c : wanted) c = lower(c);
  for (size_t step = 0; step < lines; ++step) {
    const size_t index = (from + step) % lines;
    std::string line = Line(index);
    for (char& c : line) c = lower(c);
    if (line.find(wanted) != std::string::npos) return index;
  }
  return std::nullopt;
}

}  // namespace quillmap
