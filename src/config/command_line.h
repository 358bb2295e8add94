/// The command line: "-cfg file.cfg" runs one scan at start; "-init FOLDER" writes a starting
/// configuration instead; other "-name value" pairs (the query options, "-write-baseline FILE")
/// are kept for the run.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

/// The option whose value names the file that receives the run's module rule violations.
inline constexpr const char* kWriteBaselineOption = "write-baseline";

struct CmdLineState {
  bool runAtStart = false;
  std::string errorText;  // "Wrong cmdline:\n" and the unparsed rest, when malformed
  std::string cmdCfgPath;
  std::map<std::string, std::string> options;  // every other "-name value" pair; a later one wins
  std::optional<std::string> initFolder;       // the folder of "-init", the last one given
};

/// Parses the program's arguments (without the program name). "-cfg" takes the next argument
/// whole as its value; a later "-cfg" wins; an option without a value makes the command line
/// malformed. A value beginning with '.' is completed as `basePath` followed by the value.
CmdLineState ParseCommandLine(const std::vector<std::string>& args, const std::string& basePath);

}  // namespace quillmap
