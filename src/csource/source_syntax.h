/// How the scans read C sources: line by line with the layout rules of the line mode, or as C.
#pragma once

#include <string_view>

namespace quillmap {

enum class SourceSyntax {
  kLines,  // a header line, then "{" in column 0; the body ends at "}" in column 0
  kC,      // definitions and calls as C has them, in any layout
};

/// The values of the configuration key that chooses the syntax.
inline constexpr std::string_view kLinesSyntaxValue = "lines";
inline constexpr std::string_view kCSyntaxValue = "c";

/// Reads a configured value: "lines" or nothing means the line mode, "c" the C-aware mode (ASCII
/// case ignored). False for any other value.
bool ParseSourceSyntax(std::string_view value, SourceSyntax& syntax);

}  // namespace quillmap
