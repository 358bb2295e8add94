/// How names and texts are written into DOT files so that Graphviz can read them: plain DOT IDs
/// stay as they are, anything else is written as a quoted string.
#pragma once

#include <string>
#include <string_view>

namespace quillmap {

/// True for a DOT ID that needs no quotes: an identifier ([A-Za-z_][A-Za-z0-9_]*) that is not a
/// DOT keyword (node, edge, graph, digraph, subgraph, strict; any case), or a numeral (42, -1.5).
bool IsPlainDotId(std::string_view text);

/// The text with '\' written as "\\" and '"' as "\"", for use inside a quoted DOT string. A NUL
/// byte, which no DOT reader takes, is written as "\0".
std::string EscapeDotString(std::string_view text);

/// Longest DOT ID that Graphviz's reader takes, bare or as one quoted string (found by trying:
/// 16,381 characters pass, 16,382 are a syntax error); a longer one is written as quoted strings
/// joined with '+', each of them well under it.
inline constexpr size_t kMaxDotIdLength = 16381;

/// The text as a DOT ID: unchanged when plain and not longer than kMaxDotIdLength, otherwise
/// quoted and escaped ("" when empty), in parts joined with " + " when long.
std::string DotId(std::string_view text);

/// The text as one DOT string: quoted and escaped, in parts joined with " + " when long.
std::string QuotedDotString(std::string_view text);

/// Where a position of a DOT attribute text lies: outside any string, inside a double-quoted
/// string, or inside an HTML string ("<...>", with nested angle brackets).
enum class DotTextContext { kBare, kQuoted, kHtml };
DotTextContext DotContextAt(std::string_view text, size_t pos);

/// True when position `pos` of a DOT attribute text lies inside a double-quoted string, that is
/// when an odd number of unescaped '"' outside HTML strings stand before it.
bool InsideDotString(std::string_view text, size_t pos);

/// The text as content of an HTML string, which Graphviz hands to an XML parser: '&', '<' and
/// '>' as entities, a byte that does not belong to a UTF-8 sequence as the character reference of
/// its Latin-1 character, a control character other than tab, line feed and carriage return as
/// U+FFFD, and a NUL byte as "\0" (as in quoted strings).
std::string EscapeHtmlText(std::string_view text);

}  // namespace quillmap
