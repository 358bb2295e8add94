/// The difference mode of the command line: "-diff OLD.json NEW.json -o DIFF.dot" reads two
/// graph exports and writes the call graph of both, with what appeared and what disappeared.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillmap {

inline constexpr const char* kDiffOption = "-diff";
inline constexpr const char* kDiffOutputOption = "-o";
/// The arguments of the mode, as the usage text shows them.
inline constexpr const char* kDiffUsage = "-diff OLD.json NEW.json -o DIFF.dot";

/// True when the arguments ask for the difference mode (one of them is "-diff").
bool IsDiffCommand(const std::vector<std::string>& args);

struct DiffCommand {
  std::string olderPath;
  std::string newerPath;
  std::string dotPath;
  std::string error;  // what is wrong with the command line; empty when it is fine
};
/// "-diff OLD NEW" and "-o DOT", in either order, and nothing else.
DiffCommand ParseDiffCommand(const std::vector<std::string>& args);

/// Runs the difference mode: the summary goes to `out`, messages to `err`. Returns the exit
/// status: kExitUsage for a bad command line and for an export that cannot be opened, is not
/// JSON, is not an export or is of another version; kExitRunFailed when the DOT file cannot be
/// written.
int RunDiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quillmap
