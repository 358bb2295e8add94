/// Small text operations shared by the call graph and the module graph: trimming, the DOT
/// header timestamp, call filter fields, call arguments, node names and duplicate-free lists.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

/// An ordered list of texts; positions count from 0.
using StringList = std::vector<std::string>;

/// Characters removed by Trim: blank, tab, line feed, vertical tab, form feed, carriage return.
inline constexpr std::string_view kBlankCharacters = " \t\n\v\f\r";

/// The text without blank characters at either end.
std::string Trim(std::string_view text);
/// The same part of `text` without the characters of `blanks` at either end.
std::string_view TrimView(std::string_view text, std::string_view blanks = kBlankCharacters);

/// "dd.mm.yyyy, hh:mm.ss" for the given calendar time, read as local time.
std::string FormatTimestamp(std::time_t when);
/// "dd.mm.yyyy, hh:mm.ss" for the current local time.
std::string FormatTimestamp();

/// Field `n` (from 0) of a text whose fields are separated by line feeds: the text between the
/// n-th and the next line feed, "" beyond the last one.
std::string GetField(std::string_view text, int n);

/// Fills `args` with the trimmed arguments of the first occurrence of `call` (a name followed
/// by "(") in `text`. Returns the number of arguments, or -1 when `call` has no "(" after its
/// first character, when it does not occur, or when the argument list is not closed (the
/// arguments found before that stay in `args`).
int SplitArguments(std::string_view text, std::string_view call, StringList& args);

/// The DOT node name of a function or call text: the text before its first "(" (when that is
/// not at position 0), with each "." after the first character turned into "_".
std::string NodeNameOf(std::string_view text);

/// Appends `text` unless an equal entry (byte for byte) is already in `list`.
/// Returns true when it was appended.
bool AddIfAbsent(StringList& list, const std::string& text);

/// True when the character counts as part of a C identifier: an ASCII letter, digit or "_".
inline bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace quillmap
