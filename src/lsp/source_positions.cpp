#include "lsp/source_positions.h"

namespace quillmap::lsp {

namespace {

// The length in bytes of the UTF-8 sequence that begins with `lead`, and its UTF-16 units;
// a byte that begins no sequence is one byte and one unit.
void SequenceOf(std::string_view line, size_t at, size_t& bytes, int& units) {
  const auto lead = static_cast<unsigned char>(line[at]);
  size_t length = 1;
  if (lead >= 0xF0 && lead < 0xF8) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = lead < 0xF0 ? 3 : 1;
  } else if (lead >= 0xC2) {
    length = 2;
  }
  if (length > 1 && at + length <= line.size()) {
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(line[at + k]) & 0xC0) != 0x80) length = 1;
    }
  } else {
    length = 1;
  }
  bytes = length;
  units = length == 4 ? 2 : 1;
}

}  // namespace

std::string_view LineOf(std::string_view text, int line) {
  if (line < 0) return {};
  size_t start = 0;
  for (int k = 0; k < line; ++k) {
    const size_t feed = text.find('\n', start);
    if (feed == std::string_view::npos) return {};
    start = feed + 1;
  }
  size_t end = text.find('\n', start);
  if (end == std::string_view::npos) end = text.size();
  if (end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

int Utf16Column(std::string_view line, size_t bytes) {
  int column = 0;
  for (size_t at = 0; at < bytes && at < line.size();) {
    size_t length = 1;
    int units = 1;
    SequenceOf(line, at, length, units);
    at += length;
    column += units;
  }
  return column;
}

size_t ByteOfColumn(std::string_view line, int column) {
  size_t at = 0;
  for (int units = 0; at < line.size() && units < column;) {
    size_t length = 1;
    int step = 1;
    SequenceOf(line, at, length, step);
    at += length;
    units += step;
  }
  return at;
}

bool IsIdentifierByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

NameSpan IdentifierAt(std::string_view line, size_t at) {
  if (at > line.size()) return {};
  size_t begin = at;
  while (begin > 0 && IsIdentifierByte(line[begin - 1])) --begin;
  size_t end = at;
  while (end < line.size() && IsIdentifierByte(line[end])) ++end;
  if (begin == end || (line[begin] >= '0' && line[begin] <= '9')) return {};
  return {begin, end};
}

namespace {

// Calls `found(span, called)` for each stand-alone occurrence of `name` in `line` until it
// returns false; `called`: a "(" follows.
template <typename Found>
void ForEachOccurrence(std::string_view line, std::string_view name, Found found) {
  if (name.empty()) return;
  for (size_t at = line.find(name); at != std::string_view::npos; at = line.find(name, at + 1)) {
    const size_t end = at + name.size();
    if (at > 0 && IsIdentifierByte(line[at - 1])) continue;
    if (end < line.size() && IsIdentifierByte(line[end])) continue;
    size_t next = end;
    while (next < line.size() && (line[next] == ' ' || line[next] == '\t')) ++next;
    if (!found(NameSpan{at, end}, next < line.size() && line[next] == '(')) return;
  }
}

}  // namespace

NameSpan FindName(std::string_view line, std::string_view name) {
  NameSpan first;
  NameSpan called;
  ForEachOccurrence(line, name, [&](NameSpan span, bool isCall) {
    if (isCall) {
      called = span;
      return false;
    }
    if (!first.found()) first = span;
    return true;
  });
  return called.found() ? called : first;
}

std::vector<NameSpan> CallsOfName(std::string_view line, std::string_view name) {
  std::vector<NameSpan> calls;
  ForEachOccurrence(line, name, [&](NameSpan span, bool isCall) {
    if (isCall) calls.push_back(span);
    return true;
  });
  return calls;
}

}  // namespace quillmap::lsp

namespace quillmap::lsp {

SourceLines::SourceLines(std::string text, int firstLine)
    : text_(std::move(text)), firstLine_(firstLine) {
  starts_.push_back(0);
  for (size_t feed = text_.find('\n'); feed != std::string::npos; feed = text_.find('\n', feed + 1)) {
    starts_.push_back(feed + 1);
  }
}

size_t SourceLines::OffsetOf(int line) const {
  line -= firstLine_;
  if (line < 0 || static_cast<size_t>(line) >= starts_.size()) return text_.size();
  return starts_[static_cast<size_t>(line)];
}

std::string_view SourceLines::Line(int line) const {
  line -= firstLine_;
  if (line < 0 || static_cast<size_t>(line) >= starts_.size()) return {};
  const size_t start = starts_[static_cast<size_t>(line)];
  size_t end = static_cast<size_t>(line) + 1 < starts_.size()
                   ? starts_[static_cast<size_t>(line) + 1] - 1
                   : text_.size();
  if (end > start && text_[end - 1] == '\r') --end;
  return std::string_view(text_).substr(start, end - start);
}

std::vector<size_t> LineStarts(std::string_view text, const std::vector<int>& lines) {
  std::vector<size_t> starts;
  starts.reserve(lines.size());
  size_t at = 0;
  int line = 0;
  for (const int wanted : lines) {
    while (line < wanted && at < text.size()) {
      const size_t feed = text.find('\n', at);
      at = feed == std::string_view::npos ? text.size() : feed + 1;
      ++line;
    }
    starts.push_back(line == wanted ? at : text.size());
  }
  return starts;
}

bool FindBodyEnd(const SourceLines& source, int braceLine, int& endLine, size_t& endByte) {
  const std::string_view text = source.text();
  if (braceLine < 0) return false;
  size_t at = source.OffsetOf(braceLine);
  int line = braceLine;
  size_t lineStart = at;
  int depth = 0;
  bool opened = false;
  while (at < text.size()) {
    const char c = text[at];
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    if (c == '\n') {
      ++line;
      lineStart = ++at;
      continue;
    }
    if (c == '/' && next == '/') {
      while (at < text.size() && text[at] != '\n') ++at;
      continue;
    }
    if (c == '/' && next == '*') {
      at += 2;
      while (at < text.size() && !(text[at] == '*' && at + 1 < text.size() && text[at + 1] == '/')) {
        if (text[at] == '\n') {
          ++line;
          lineStart = at + 1;
        }
        ++at;
      }
      at += 2;
      continue;
    }
    if (c == '"' || c == '\'') {
      ++at;
      while (at < text.size() && text[at] != c && text[at] != '\n') {
        if (text[at] == '\\' && at + 1 < text.size()) {
          // A continued line inside a literal.
          if (text[at + 1] == '\n') {
            ++line;
            lineStart = at + 2;
          }
          ++at;
        }
        ++at;
      }
      ++at;
      continue;
    }
    if (c == '{') {
      ++depth;
      opened = true;
    } else if (c == '}' && opened && --depth == 0) {
      endLine = line;
      endByte = at + 1 - lineStart;
      return true;
    }
    ++at;
  }
  return false;
}

}  // namespace quillmap::lsp
