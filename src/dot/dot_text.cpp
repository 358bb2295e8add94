#include "dot/dot_text.h"

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

std::string QuotedDotString(std::string_view text) {
  // Parts end between escape sequences, so that each one reads alone.
  constexpr size_t kPartLength = 16000;
  std::string escaped = EscapeDotString(text);
  if (escaped.size() <= kPartLength) return '"' + escaped + '"';
  std::string out = "\"";
  size_t partStart = 0;
  for (size_t i = 0; i < escaped.size(); ++i) {
    const size_t unit = escaped[i] == '\\' ? 2 : 1;
    if (i + unit - partStart > kPartLength) {
      out += "\" + \"";
      partStart = i;
    }
    out.append(escaped, i, unit);
    i += unit - 1;
  }
  return out + '"';
}

std::string DotId(std::string_view text) {
  if (IsPlainDotId(text) && text.size() <= kMaxDotIdLength) return std::string(text);
  return QuotedDotString(text);
}

DotTextContext DotContextAt(std::string_view text, size_t pos) {
  DotTextContext context = DotTextContext::kBare;
  int htmlDepth = 0;
  for (size_t i = 0; i < pos && i < text.size(); ++i) {
    const char c = text[i];
    switch (context) {
      case DotTextContext::kBare:
        if (c == '"') context = DotTextContext::kQuoted;
        if (c == '<') context = DotTextContext::kHtml, htmlDepth = 1;
        break;
      case DotTextContext::kQuoted:
        if (c == '\\') {
          ++i;  // the escaped character does not open or close anything
        } else if (c == '"') {
          context = DotTextContext::kBare;
        }
        break;
      case DotTextContext::kHtml:
        if (c == '<') ++htmlDepth;
        if (c == '>' && --htmlDepth == 0) context = DotTextContext::kBare;
        break;
    }
  }
  return context;
}

bool InsideDotString(std::string_view text, size_t pos) {
  return DotContextAt(text, pos) == DotTextContext::kQuoted;
}

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text` (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned long code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(k) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string EscapeHtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text.substr(i));
      if (length > 0) {
        out.append(text.substr(i, length));
        i += length;
      } else {
        out += "&#" + std::to_string(c) + ";";
        ++i;
      }
      continue;
    }
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '\0') {
      out += "\\0";
    } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      out += "\xEF\xBF\xBD";
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

}  // namespace quillmap
