#include "dialog/log_lines.h"

#include <algorithm>
#include <cctype>

namespace quillmap {

namespace {
// Continuation bytes of a UTF-8 sequence take no column of their own.
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t ColumnAfter(size_t column, char c) {
  if (c == '\t') return (column / kLogTabWidth + 1) * kLogTabWidth;
  if (c == '\r' || IsContinuationByte(c)) return column;
  return column + 1;
}
}  // namespace

void LogLines::Append(std::string_view text) {
  const size_t base = text_.size();
  text_.append(text);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      starts_.push_back(base + i + 1);
      lastColumns_ = 0;
    } else {
      lastColumns_ = ColumnAfter(lastColumns_, text[i]);
      widestColumns_ = std::max(widestColumns_, lastColumns_);
    }
  }
}

void LogLines::Clear() {
  text_.clear();
  starts_.assign(1, 0);
  lastColumns_ = 0;
  widestColumns_ = 0;
}

std::string LogLines::Line(size_t index) const {
  if (index >= lineCount()) return {};
  const size_t begin = starts_[index];
  const size_t end = index + 1 < starts_.size() ? starts_[index + 1] - 1 : text_.size();
  std::string line = text_.substr(begin, end - begin);
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
