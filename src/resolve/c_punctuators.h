/// How long a C punctuator is: the fact reader and the macro tokenizer split operators alike.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmap {

/// The length of the punctuator at `start`: the operators of two and three bytes ("->", "<<=",
/// "...", "##" ...), else one byte.
inline size_t CPunctuatorLength(std::string_view text, size_t start) {
  const size_t n = text.size();
  if (start + 1 >= n) return 1;
  const char c = text[start];
  const char d = text[start + 1];
  switch (c) {
    case '-':
      return d == '>' || d == '-' || d == '=' ? 2 : 1;
    case '+':
    case '&':
    case '|':
      return d == c || d == '=' ? 2 : 1;
    case '<':
    case '>':
      if (d == c) return start + 2 < n && text[start + 2] == '=' ? 3 : 2;
      return d == '=' ? 2 : 1;
    case '=':
    case '!':
    case '*':
    case '/':
    case '%':
    case '^':
      return d == '=' ? 2 : 1;
    case '.':
      return d == '.' && start + 2 < n && text[start + 2] == '.' ? 3 : 1;
    case '#':
      return d == '#' ? 2 : 1;
    default:
      return 1;
  }
}

}  // namespace quillmap
