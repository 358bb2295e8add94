/// A small check of DOT text against the grammar and the lexical rules of Graphviz's reader, so
/// that fuzzers and tests can judge every DOT file Quillmap writes without starting Graphviz.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillmap {

/// Longest single lexical match that Graphviz's reader takes (a plain ID, a number, a comment,
/// or one run of a quoted string between quotes and backslashes); a longer one is an error.
inline constexpr size_t kMaxDotLexeme = 16381;

/// Where and why a DOT text is not accepted.
struct DotSyntaxError {
  size_t line = 1;      // from 1
  size_t offset = 0;    // byte offset of the token at fault
  std::string message;  // e.g. "expected '}'"
};

/// Checks that `text` is exactly one graph ("[strict] (graph|digraph) [ID] { ... }") followed by
/// nothing but blanks and comments, with statements, attribute lists, subgraphs, edges, ports,
/// quoted and HTML strings and comments as Graphviz reads them. The content of an HTML string
/// must be what its XML parser takes (UTF-8, no control characters, "&" only before a known
/// entity or a character reference); the nesting of its tags is not checked. Stricter than
/// Graphviz where it only warns: a badly delimited number ("1a") and an attribute macro are
/// errors here, and a NUL byte is an error everywhere. Returns the first error, or nothing when
/// the text is valid.
std::optional<DotSyntaxError> FindDotSyntaxError(std::string_view text);

/// True when FindDotSyntaxError finds nothing.
inline bool IsValidDot(std::string_view text) { return !FindDotSyntaxError(text).has_value(); }

/// "line L: message" for reports.
std::string DescribeDotSyntaxError(const DotSyntaxError& error);

}  // namespace quillmap
