/// Positions in source texts as the protocol counts them: 0-based lines, and columns in UTF-16
/// code units of the line's UTF-8 text (bytes that are no UTF-8 count one unit each). The graph
/// model keeps lines only; the columns of names are found in the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap::lsp {

/// The text of 0-based line `line` (without its line end), empty past the end.
std::string_view LineOf(std::string_view text, int line);
/// The UTF-16 length of the first `bytes` bytes of a line.
int Utf16Column(std::string_view line, size_t bytes);
/// The byte offset in a line of UTF-16 column `column` (the line's length past its end).
size_t ByteOfColumn(std::string_view line, int column);

/// A range of a text as the protocol counts it: 0-based lines, UTF-16 columns.
struct TextRange {
  int line = 0;
  int character = 0;
  int endLine = 0;
  int endCharacter = 0;
  bool operator==(const TextRange&) const = default;
};

/// Bytes of a C identifier.
bool IsIdentifierByte(char c);

/// A name in a line: byte offsets [begin, end), or begin == end when absent.
struct NameSpan {
  size_t begin = 0;
  size_t end = 0;
  bool found() const { return end > begin; }
};
/// The identifier that the byte offset `at` of a line touches (the one it stands in, or the one
/// it ends).
NameSpan IdentifierAt(std::string_view line, size_t at);
/// The first stand-alone occurrence of `name` in a line that is followed by "(" (blanks
/// between allowed), or else the first stand-alone occurrence at all.
NameSpan FindName(std::string_view line, std::string_view name);

}  // namespace quillmap::lsp

namespace quillmap::lsp {

/// Every stand-alone occurrence of `name` in a line that is followed by "(" (blanks between
/// allowed): the calls of `name` there.
std::vector<NameSpan> CallsOfName(std::string_view line, std::string_view name);

/// A text with the offsets of its lines, so that a line is found without reading those before.
/// The text may be an excerpt of a file that begins with its 0-based line `firstLine`: lines
/// are counted as in the file.
class SourceLines {
 public:
  explicit SourceLines(std::string text, int firstLine = 0);
  const std::string& text() const { return text_; }
  /// The text of 0-based line `line` (without its line end), empty outside the text.
  std::string_view Line(int line) const;
  /// Where a line starts in the text; the text's size outside it.
  size_t OffsetOf(int line) const;

 private:
  std::string text_;
  int firstLine_ = 0;
  std::vector<size_t> starts_;
};

/// Where each of the 0-based lines `lines` (ascending) starts in `text`: byte offsets, the
/// text's size for a line past its end.
std::vector<size_t> LineStarts(std::string_view text, const std::vector<int>& lines);

/// Where a function body ends: the 0-based line and byte (in that line) just past the "}" that
/// closes the first "{" at or after 0-based line `braceLine`, with comments, string and
/// character literals skipped. False when the text ends first.
bool FindBodyEnd(const SourceLines& source, int braceLine, int& endLine, size_t& endByte);

}  // namespace quillmap::lsp
