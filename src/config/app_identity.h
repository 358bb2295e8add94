/// The program's name and version as they appear in titles, the about box and DOT headers.
#pragma once

#include <string>

namespace quillmap {

inline constexpr const char* kVersionText = "V1.0.0.2 BETA!!!";
/// Where the project lives; shown in the dialog's title and about box, and named as the tool's
/// home in the SARIF log.
inline constexpr const char* kWebAddress = "https://github.com/quillmap/quillmap";

/// The running program's file name without extension ("quillmap" unless renamed).
const std::string& ApplicationName();
/// Sets the application name from the program path (argv[0]).
void SetApplicationNameFromProgram(const std::string& programPath);

/// The first line of both DOT files: "// crated on: <timestamp> with <name> <version>".
std::string DotHeaderLine();

}  // namespace quillmap
