/// The program's name and version as they appear in titles, the about box and DOT headers.
#pragma once

#include <string>

namespace quillmap {

inline constexpr const char* kVersionText = "V1.0.0.2 BETA!!!";

/// The running program's file name without extension ("quillmap" unless renamed).
const std::string& ApplicationName();
/// Sets the application name from the program path (argv[0]).
void SetApplicationNameFromProgram(const std::string& programPath);

/// The first line of both DOT files: "// crated on: <timestamp> with <name> <version>".
std::string DotHeaderLine();

}  // namespace quillmap
