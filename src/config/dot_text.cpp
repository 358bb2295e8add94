#include "config/dot_text.h"

#include <array>
#include <cctype>

namespace quillmap {

namespace {

bool IsAsciiLetterOrUnderscore(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

bool IsDotKeyword(std::string_view text) {
  static constexpr std::array<std::string_view, 6> kKeywords = {"node",    "edge",     "graph",
                                                                "digraph", "subgraph", "strict"};
  for (std::string_view keyword : kKeywords) {
    if (EqualsIgnoringCase(text, keyword)) return true;
  }
  return false;
}

bool IsIdentifier(std::string_view text) {
  if (text.empty() || !IsAsciiLetterOrUnderscore(text[0])) return false;
  for (char c : text) {
    if (!IsAsciiLetterOrUnderscore(c) && !IsDigit(c)) return false;
  }
  return true;
}

// [-]?(.[0-9]+ | [0-9]+(.[0-9]*)?)
bool IsNumeral(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  size_t digitsBefore = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digitsBefore;
  size_t digitsAfter = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digitsAfter;
  }
  return i == text.size() && (digitsBefore > 0 || digitsAfter > 0);
}

}  // namespace

bool IsPlainDotId(std::string_view text) {
  return (IsIdentifier(text) && !IsDotKeyword(text)) || IsNumeral(text);
}

std::string EscapeDotString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\0') {
      // Graphviz reads C strings: a NUL byte would end the file for it.
      out += "\\0";
      continue;
    }
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string DotId(std::string_view text) {
  if (IsPlainDotId(text)) return std::string(text);
  return '"' + EscapeDotString(text) + '"';
}

bool InsideDotString(std::string_view text, size_t pos) {
  bool inside = false;
  for (size_t i = 0; i < pos && i < text.size(); ++i) {
    if (text[i] == '\\' && inside) {
      ++i;  // the escaped character does not open or close anything
    } else if (text[i] == '"') {
      inside = !inside;
    }
  }
  return inside;
}

}  // namespace quillmap
